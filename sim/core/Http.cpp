#include "sim/core/Http.h"

#include <strings.h>

#include "sim/core/Faults.h"

namespace isim {

const char* const Request::kRepeatResumeTag = "repeat-resume";

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

bool Request::hasParam(const std::string& name) const {
  for (const auto& p : query)
    if (p.first == name) return true;
  return false;
}

std::string Request::param(const std::string& name, const std::string& fallback) const {
  for (const auto& p : query)
    if (p.first == name) return p.second;
  return fallback;
}

bool Request::hasHeader(const std::string& name) const { return headers.count(name) > 0; }

std::string Request::header(const std::string& name, const std::string& fallback) const {
  auto it = headers.find(name);
  return it == headers.end() ? fallback : it->second;
}

bool Request::jsonBody(nlohmann::json& out) const {
  out = nlohmann::json::parse(body, /*cb=*/nullptr, /*allow_exceptions=*/false);
  if (out.is_discarded()) {
    out = nullptr;
    return false;
  }
  return true;
}

bool Request::takeFault(const std::string& tag, Fault* out) const {
  return faults != nullptr && faults->takeTagged(*this, tag, out);
}

bool cookieValue(const Request& request, const std::string& name, std::string& value) {
  auto range = request.headers.equal_range("Cookie");
  for (auto it = range.first; it != range.second; ++it) {
    const std::string& text = it->second;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find(';', pos);
      if (end == std::string::npos) end = text.size();
      std::string piece = text.substr(pos, end - pos);
      size_t b = piece.find_first_not_of(" \t");
      if (b != std::string::npos) {
        piece = piece.substr(b);
        size_t eq = piece.find('=');
        if (eq != std::string::npos && piece.compare(0, eq, name) == 0) {
          value = piece.substr(eq + 1);
          size_t e = value.find_last_not_of(" \t");
          value = e == std::string::npos ? std::string() : value.substr(0, e + 1);
          return true;
        }
      }
      pos = end + 1;
    }
  }
  return false;
}

Response Response::json(nlohmann::json value, int status) {
  Response r(status, std::string());
  r.structured = true;
  r.value = std::move(value);
  return r;
}

Response Response::laidOutJson(std::string text, int status) {
  Response r(status, std::move(text));
  r.laidOut = true;
  return r;
}

bool Response::jsonValue(nlohmann::json& out) const {
  if (structured) {
    out = value;
    return true;
  }
  if (body.empty() || contentType.compare(0, 16, "application/json") != 0) return false;
  out = nlohmann::json::parse(body, /*cb=*/nullptr, /*allow_exceptions=*/false);
  return !out.is_discarded();
}

namespace {
std::string scalarText(const nlohmann::json& v) {
  // Replacement characters instead of an exception for any invalid UTF-8 a module stored.
  return v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void writeSpaced(const nlohmann::json& v, std::string& out) {
  if (v.is_object() && !v.empty()) {
    out += "{\n";
    bool first = true;
    for (const auto& m : v.items()) {
      if (!first) out += ",\n";
      first = false;
      out += scalarText(nlohmann::json(m.key()));
      out += " : ";
      if (m.value().is_structured()) out += '\n';
      writeSpaced(m.value(), out);
    }
    out += "\n}";
  } else if (v.is_array() && !v.empty()) {
    out += "[\n";
    bool first = true;
    for (const auto& e : v) {
      if (!first) out += ",\n";
      first = false;
      out += '\n';
      writeSpaced(e, out);
    }
    out += "\n]";
  } else {
    out += scalarText(v);
  }
}
}  // namespace

std::string formatJson(const nlohmann::json& value, bool compact) {
  if (compact) return scalarText(value);
  std::string out;
  writeSpaced(value, out);
  return out;
}

Response Response::empty(int status) { return Response(status, std::string(), std::string()); }

std::string errorBody(const std::string& code, const std::string& message) {
  nlohmann::json body = {{"errors", nlohmann::json::array({{{"code", code}, {"message", message}}})}};
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Response errorReply(int status, const std::string& code, const std::string& message) {
  return Response::json({{"errors", nlohmann::json::array({{{"code", code}, {"message", message}}})}}, status);
}

namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string percentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> parseQuery(const std::string& rawQuery) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t start = 0;
  while (start <= rawQuery.size()) {
    size_t end = rawQuery.find('&', start);
    if (end == std::string::npos) end = rawQuery.size();
    std::string piece = rawQuery.substr(start, end - start);
    if (!piece.empty()) {
      size_t eq = piece.find('=');
      if (eq == std::string::npos)
        out.emplace_back(percentDecode(piece), std::string());
      else
        out.emplace_back(percentDecode(piece.substr(0, eq)), percentDecode(piece.substr(eq + 1)));
    }
    start = end + 1;
  }
  return out;
}

std::string percentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

}  // namespace isim
