#define LLVMFuzzerTestOneInput FuzzNamespaceReplies
#include "fuzz/fuzz_namespace_replies.cpp"
