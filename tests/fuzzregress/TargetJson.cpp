// The fuzz target fuzz_json under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzJson
#include "fuzz/fuzz_json.cpp"
