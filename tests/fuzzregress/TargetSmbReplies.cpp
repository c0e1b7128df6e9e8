// The fuzz target fuzz_smb_replies under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzSmbReplies
#include "fuzz/fuzz_smb_replies.cpp"
