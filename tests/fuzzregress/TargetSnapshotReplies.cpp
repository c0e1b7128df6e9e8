#define LLVMFuzzerTestOneInput FuzzSnapshotReplies
#include "fuzz/fuzz_snapshot_replies.cpp"
