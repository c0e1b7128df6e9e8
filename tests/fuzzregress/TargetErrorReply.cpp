// The fuzz target fuzz_error_reply under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzErrorReply
#include "fuzz/fuzz_error_reply.cpp"
