// The fuzz target fuzz_synciq_replies under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzSynciqReplies
#include "fuzz/fuzz_synciq_replies.cpp"
