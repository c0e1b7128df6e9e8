#define LLVMFuzzerTestOneInput FuzzNfsReplies
#include "fuzz/fuzz_nfs_replies.cpp"
