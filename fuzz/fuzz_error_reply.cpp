// Feeds arbitrary bytes to the error-reply reader that every failed request goes through.
// What must hold: the verdict, the first error and the error list always agree.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IsilonJsonBase request;
  fuzzcheck::CheckErrorReply(request, std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
