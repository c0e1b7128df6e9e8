#define LLVMFuzzerTestOneInput FuzzSmbReplies
#include "fuzz/fuzz_smb_replies.cpp"
