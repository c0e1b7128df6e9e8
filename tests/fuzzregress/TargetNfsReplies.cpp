// The fuzz target fuzz_nfs_replies under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzNfsReplies
#include "fuzz/fuzz_nfs_replies.cpp"
