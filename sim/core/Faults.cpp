#include "sim/core/Faults.h"

#include "sim/core/Http.h"

namespace isim {

namespace {
struct KindName {
  FaultKind kind;
  const char* name;
};
const KindName kKinds[] = {
    {FaultKind::kError, "error"},
    {FaultKind::kNotJson, "not_json"},
    {FaultKind::kReplace, "replace"},
    {FaultKind::kTruncate, "truncate"},
    {FaultKind::kDelay, "delay"},
    {FaultKind::kCloseBeforeReply, "close_before_reply"},
    {FaultKind::kCloseAfterChange, "close_after_change"},
    {FaultKind::kCloseMidReply, "close_mid_reply"},
    {FaultKind::kHugeBody, "huge_body"},
    {FaultKind::kTagged, "tagged"},
};

Fault make(FaultKind kind, const std::string& path) {
  Fault f;
  f.kind = kind;
  f.path = path;
  return f;
}
}  // namespace

const char* faultKindName(FaultKind kind) {
  for (const auto& k : kKinds)
    if (k.kind == kind) return k.name;
  return "error";
}

bool faultKindFromName(const std::string& name, FaultKind& kind) {
  for (const auto& k : kKinds)
    if (name == k.name) {
      kind = k.kind;
      return true;
    }
  return false;
}

Fault Fault::error(const std::string& path, int status, const std::string& code, const std::string& message) {
  Fault f = make(FaultKind::kError, path);
  f.status = status;
  f.body = errorBody(code, message);
  return f;
}

Fault Fault::notJson(const std::string& path, int status) {
  Fault f = make(FaultKind::kNotJson, path);
  f.status = status;
  return f;
}

Fault Fault::replace(const std::string& path, int status, const std::string& body) {
  Fault f = make(FaultKind::kReplace, path);
  f.status = status;
  f.body = body;
  return f;
}

Fault Fault::truncate(const std::string& path, const std::string& sent, uint64_t declaredLength) {
  Fault f = make(FaultKind::kTruncate, path);
  f.body = sent;
  f.size = declaredLength;
  return f;
}

Fault Fault::delay(const std::string& path, int milliseconds) {
  Fault f = make(FaultKind::kDelay, path);
  f.delayMs = milliseconds;
  return f;
}

Fault Fault::closeBeforeReply(const std::string& path) { return make(FaultKind::kCloseBeforeReply, path); }
Fault Fault::closeAfterChange(const std::string& path) { return make(FaultKind::kCloseAfterChange, path); }
Fault Fault::closeMidReply(const std::string& path) { return make(FaultKind::kCloseMidReply, path); }

Fault Fault::hugeBody(const std::string& path, uint64_t size, const std::string& prefix, const std::string& fill) {
  Fault f = make(FaultKind::kHugeBody, path);
  f.size = size;
  f.body = prefix;
  f.fill = fill;
  return f;
}

Fault Fault::tagged(const std::string& path, const std::string& tag) {
  Fault f = make(FaultKind::kTagged, path);
  f.tag = tag;
  return f;
}

Fault Fault::repeatResume(const std::string& path) { return tagged(path, Request::kRepeatResumeTag); }

Fault Fault::retryLater(const std::string& path, int status, int retryAfterSeconds) {
  Fault f = error(path, status, status == 429 ? "AEC_TOO_MANY_REQUESTS" : "AEC_SERVICE_UNAVAILABLE",
                  status == 429 ? "Too many requests" : "Service temporarily unavailable");
  if (retryAfterSeconds >= 0) f.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds));
  return f;
}

bool Fault::fromJson(const nlohmann::json& json, Fault& out, std::string& error) {
  if (!json.is_object()) {
    error = "a fault is a JSON object";
    return false;
  }
  Fault f;
  try {
    std::string kind = json.value("kind", std::string("error"));
    if (kind == "repeat_resume") {
      f.kind = FaultKind::kTagged;
      f.tag = Request::kRepeatResumeTag;
    } else if (!faultKindFromName(kind, f.kind)) {
      error = "unknown fault kind: " + kind;
      return false;
    }
    f.path = json.value("path", std::string());
    f.regex = json.value("regex", std::string());
    f.method = json.value("method", std::string());
    f.times = json.value("times", 1);
    f.skip = json.value("skip", 0);
    f.status = json.value("status", 0);
    f.body = json.value("body", std::string());
    f.contentType = json.value("content_type", std::string());
    f.delayMs = json.value("delay_ms", 0);
    if (json.contains("size") && !json.at("size").is_number_unsigned()) {
      error = "size is a whole number of bytes";
      return false;
    }
    f.size = json.value("size", static_cast<uint64_t>(0));
    f.fill = json.value("fill", std::string("x"));
    f.chunked = json.value("chunked", false);
    if (json.contains("tag")) f.tag = json.at("tag").get<std::string>();
    if (json.contains("headers")) {
      const auto& headers = json.at("headers");
      if (!headers.is_object()) {
        error = "\"headers\" is an object of names and values";
        return false;
      }
      for (auto it = headers.begin(); it != headers.end(); ++it)
        f.headers.emplace_back(it.key(), it.value().get<std::string>());
    }
  } catch (const nlohmann::json::exception& e) {
    error = std::string("bad fault member: ") + e.what();
    return false;
  }
  if (f.status != 0 && (f.status < 100 || f.status > 999)) {
    error = "status out of range";
    return false;
  }
  if (f.delayMs < 0 || f.delayMs > 600000) {
    error = "delay_ms out of range";
    return false;
  }
  if (f.kind == FaultKind::kHugeBody && f.fill.empty()) {
    error = "fill must not be empty";
    return false;
  }
  out = std::move(f);
  return true;
}

nlohmann::json Fault::toJson() const {
  nlohmann::json j = {{"kind", faultKindName(kind)},
                      {"path", path},
                      {"regex", regex},
                      {"method", method},
                      {"times", times},
                      {"skip", skip},
                      {"status", status},
                      {"body", body},
                      {"content_type", contentType},
                      {"delay_ms", delayMs},
                      {"size", size},
                      {"fill", fill},
                      {"chunked", chunked},
                      {"tag", tag}};
  nlohmann::json h = nlohmann::json::object();
  for (const auto& p : headers) h[p.first] = p.second;
  j["headers"] = h;
  return j;
}

int FaultInjector::add(const Fault& fault) {
  std::shared_ptr<std::regex> regex;
  if (!fault.regex.empty()) regex = std::make_shared<std::regex>(fault.regex, std::regex::ECMAScript);
  std::lock_guard<std::mutex> lock(mutex_);
  int id = nextId_++;
  armed_.push_back(Armed{id, fault, regex});
  return id;
}

void FaultInjector::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  armed_.clear();
}

std::vector<Fault> FaultInjector::armed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Fault> out;
  for (const auto& a : armed_) out.push_back(a.fault);
  return out;
}

size_t FaultInjector::armedCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return armed_.size();
}

bool FaultInjector::take(const Request& request, Fault& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  return takeLocked(request, false, std::string(), &out);
}

bool FaultInjector::takeTagged(const Request& request, const std::string& tag, Fault* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  return takeLocked(request, true, tag, out);
}

bool FaultInjector::takeLocked(const Request& request, bool tagged, const std::string& tag, Fault* out) {
  for (auto it = armed_.begin(); it != armed_.end(); ++it) {
    Fault& f = it->fault;
    if ((f.kind == FaultKind::kTagged) != tagged) continue;
    if (tagged && f.tag != tag) continue;
    if (!f.method.empty() && f.method != request.method) continue;
    if (it->regex) {
      if (!std::regex_search(request.target, *it->regex)) continue;
    } else if (request.path.compare(0, f.path.size(), f.path) != 0) {
      continue;
    }
    if (f.skip > 0) {
      --f.skip;
      continue;
    }
    if (out) *out = f;
    if (f.times > 0 && --f.times == 0) armed_.erase(it);
    return true;
  }
  return false;
}

void RandomFaults::configure(double rate, uint64_t seed) {
  std::lock_guard<std::mutex> lock(mutex_);
  stats_ = Stats();
  stats_.rate = rate > 0 ? (rate < 1 ? rate : 1) : 0;
  stats_.seed = seed;
  generator_.seed(seed);
  active_ = stats_.rate > 0;
}

double RandomFaults::uniformLocked() { return static_cast<double>(generator_() >> 11) * 0x1.0p-53; }

RandomFaults::Pick RandomFaults::next() {
  if (!active_) return Pick::kNone;
  std::lock_guard<std::mutex> lock(mutex_);
  if (stats_.rate <= 0) return Pick::kNone;
  ++stats_.asked;
  if (uniformLocked() >= stats_.rate) return Pick::kNone;
  if (uniformLocked() < 0.5) {
    ++stats_.unavailable;
    return Pick::kUnavailable;
  }
  ++stats_.resets;
  return Pick::kReset;
}

RandomFaults::Stats RandomFaults::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

}  // namespace isim
