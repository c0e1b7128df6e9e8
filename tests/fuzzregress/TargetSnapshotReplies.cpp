// The fuzz target fuzz_snapshot_replies under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzSnapshotReplies
#include "fuzz/fuzz_snapshot_replies.cpp"
