#pragma once
// Faults a test arms for the next requests that match a path and method.
//
//   kError            reply `status` (default 500) with `body` (default an error-shape body)
//   kNotJson          reply `status` (default 200) with a body that is not JSON
//   kReplace          reply `status` (default 200) with `body` as given (any text at all)
//   kTruncate         send `body` with a Content-Length of `size` (default body + 64), then close
//   kDelay            wait `delayMs`, then answer normally
//   kCloseBeforeReply close the connection without sending anything
//   kCloseAfterChange handle the request (a change takes effect), then close the connection
//                     without sending its reply
//   kCloseMidReply    send headers and half a chunk of a chunked body, then close
//   kHugeBody         reply `status` (default 200) with `size` bytes: `body`, then `fill` repeated,
//                     streamed without holding them in memory
//   kTagged           does nothing in the core; a module asks for it with Request::takeFault(tag)
//                     (the paging helper's "repeat-resume": the next page token names the same page)
//
// Every kind but kDelay and kTagged may also wait `delayMs` first. The first armed fault that
// matches a request wins; it lets `skip` matching requests pass, then hits `times` of them
// (times <= 0: every matching request until cleared).
//
// RandomFaults adds transient faults at a seeded rate on top: a 503 or a cut connection.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace isim {

struct Request;

enum class FaultKind {
  kError,
  kNotJson,
  kReplace,
  kTruncate,
  kDelay,
  kCloseBeforeReply,
  kCloseAfterChange,
  kCloseMidReply,
  kHugeBody,
  kTagged
};

const char* faultKindName(FaultKind kind);  // "error", "not_json", "replace", ...
bool faultKindFromName(const std::string& name, FaultKind& kind);

struct Fault {
  FaultKind kind = FaultKind::kError;
  // Which requests: `path` is a prefix of the decoded path (empty: every path); `regex`, when
  // set, is searched in the raw target (path and query as sent) instead. `method` empty: any.
  std::string path;
  std::string regex;
  std::string method;
  int times = 1;
  int skip = 0;

  int status = 0;  // 0: the kind's default
  std::string body;
  std::string contentType;  // empty: the kind's default
  std::vector<std::pair<std::string, std::string>> headers;
  int delayMs = 0;
  uint64_t size = 0;
  std::string fill = "x";
  bool chunked = false;  // kHugeBody: sent in chunks, without a declared length
  std::string tag;

  // Shorthands for the common cases.
  static Fault error(const std::string& path, int status, const std::string& code, const std::string& message);
  static Fault notJson(const std::string& path, int status = 200);
  static Fault replace(const std::string& path, int status, const std::string& body);
  static Fault truncate(const std::string& path, const std::string& sent, uint64_t declaredLength);
  static Fault delay(const std::string& path, int milliseconds);
  static Fault closeBeforeReply(const std::string& path);
  static Fault closeAfterChange(const std::string& path);
  static Fault closeMidReply(const std::string& path);
  static Fault hugeBody(const std::string& path, uint64_t size, const std::string& prefix = std::string(),
                        const std::string& fill = "x");
  static Fault tagged(const std::string& path, const std::string& tag);
  static Fault repeatResume(const std::string& path);
  // A busy cluster: `status` (503 or 429) in the error shape with "Retry-After: SECONDS"
  // (negative: no header).
  static Fault retryLater(const std::string& path, int status, int retryAfterSeconds);

  Fault& on(const std::string& m) {
    method = m;
    return *this;
  }
  Fault& count(int n) {
    times = n;
    return *this;
  }
  Fault& after(int n) {
    skip = n;
    return *this;
  }

  // The admin endpoint's JSON form: {"kind":"error","path":"/platform","method":"GET",
  // "times":1,"skip":0,"status":500,"body":"...","content_type":"...","headers":{"X":"y"},
  // "delay_ms":0,"size":0,"fill":"x","tag":"...","regex":"..."}.
  static bool fromJson(const nlohmann::json& json, Fault& out, std::string& error);
  nlohmann::json toJson() const;
};

class FaultInjector {
 public:
  // Arms a fault and returns its id; throws std::regex_error for a bad regex.
  int add(const Fault& fault);
  void clear();
  // Faults still armed.
  std::vector<Fault> armed() const;
  size_t armedCount() const;

  // Takes one hit of the first matching core fault (not kTagged).
  bool take(const Request& request, Fault& out);
  // Takes one hit of the first matching kTagged fault with this tag.
  bool takeTagged(const Request& request, const std::string& tag, Fault* out);

 private:
  struct Armed {
    int id;
    Fault fault;
    std::shared_ptr<std::regex> regex;
  };
  bool takeLocked(const Request& request, bool tagged, const std::string& tag, Fault* out);

  mutable std::mutex mutex_;
  std::vector<Armed> armed_;
  int nextId_ = 1;
};

// Transient faults at random. Each request asks next(): with probability `rate` it gets a fault,
// a 503 or a cut connection with even odds. Draws come from one generator seeded with `seed`,
// so a given seed and request order always give the same faults.
class RandomFaults {
 public:
  enum class Pick { kNone, kUnavailable, kReset };
  struct Stats {
    double rate = 0;
    uint64_t seed = 0;
    uint64_t asked = 0;        // requests that drew
    uint64_t unavailable = 0;  // answered 503
    uint64_t resets = 0;       // connection cut
  };

  // Starts over: new rate and seed, counts back to zero. The rate is clamped to 0..1.
  void configure(double rate, uint64_t seed);
  Pick next();
  Stats stats() const;

 private:
  double uniformLocked();  // in [0, 1), 53 bits of the generator's output

  std::atomic<bool> active_{false};  // rate above 0: requests skip the lock otherwise
  mutable std::mutex mutex_;
  Stats stats_;
  std::mt19937_64 generator_;
};

}  // namespace isim
