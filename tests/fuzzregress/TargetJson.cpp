#define LLVMFuzzerTestOneInput FuzzJson
#include "fuzz/fuzz_json.cpp"
