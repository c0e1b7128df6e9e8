// Feeds arbitrary bytes to the error-reply reader that every failed request goes through.
// What must hold: the verdict, the first error and the error list always agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  IsilonJsonBase request;
  // A second reading must leave only its own errors: read twice.
  for (int round = 0; round < 2; ++round) {
    const bool found = request.ParseError(reply);
    std::string code, message;
    request.getError(code, message);
    std::vector<_IsilonErrorInfo> list;
    request.getErrorList(list);
    if (found) {
      Check(!code.empty() || !message.empty() || !list.empty());
      if (!list.empty()) Check(list.front().strCode == code && list.front().strMessage == message);
    } else {
      Check(list.empty());
      Check((code.empty() && message.empty()) || (code == "Internal error" && message == "Internal error"));
    }
  }
  return 0;
}
