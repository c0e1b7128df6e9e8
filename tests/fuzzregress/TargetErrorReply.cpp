#define LLVMFuzzerTestOneInput FuzzErrorReply
#include "fuzz/fuzz_error_reply.cpp"
