#define LLVMFuzzerTestOneInput FuzzCallerInputs
#include "fuzz/fuzz_caller_inputs.cpp"
