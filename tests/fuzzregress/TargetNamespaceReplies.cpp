// The fuzz target fuzz_namespace_replies under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzNamespaceReplies
#include "fuzz/fuzz_namespace_replies.cpp"
