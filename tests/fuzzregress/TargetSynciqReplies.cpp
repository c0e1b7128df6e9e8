#define LLVMFuzzerTestOneInput FuzzSynciqReplies
#include "fuzz/fuzz_synciq_replies.cpp"
