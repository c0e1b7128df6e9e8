#include "sim/core/Paging.h"

#include <openssl/evp.h>

namespace isim {

namespace {
bool isUrlAlphabet(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool parseLimit(const std::string& text, size_t maxLimit, size_t& out) {
  if (text.empty() || text.size() > 20) return false;
  unsigned long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (~0ULL - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (value < 1 || value > maxLimit) return false;
  out = static_cast<size_t>(value);
  return true;
}
}  // namespace

// OpenSSL's base64, with the URL-safe alphabet's two letters and without padding.
std::string base64UrlEncode(const std::string& data) {
  std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
  out.resize(static_cast<size_t>(n));
  while (!out.empty() && out.back() == '=') out.pop_back();
  for (char& c : out) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return out;
}

bool base64UrlDecode(const std::string& text, std::string& out) {
  out.clear();
  if (text.size() % 4 == 1) return false;
  // OpenSSL skips blanks around the text and reads either alphabet: only this one is a token.
  std::string standard = text;
  for (char& c : standard) {
    if (!isUrlAlphabet(c)) return false;
    if (c == '-') c = '+';
    if (c == '_') c = '/';
  }
  const size_t padding = (4 - standard.size() % 4) % 4;
  standard.append(padding, '=');
  if (standard.empty()) return true;
  out.assign(standard.size() / 4 * 3, '\0');
  const int n =
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                      reinterpret_cast<const unsigned char*>(standard.data()), static_cast<int>(standard.size()));
  if (n < 0) {
    out.clear();
    return false;
  }
  // The block decoder counts the padding as zero bytes.
  out.resize(static_cast<size_t>(n) - padding);
  return true;
}

bool PageCursor::hasParam(const std::string& name) const {
  for (const auto& p : query)
    if (p.first == name) return true;
  return false;
}

std::string PageCursor::param(const std::string& name, const std::string& fallback) const {
  for (const auto& p : query)
    if (p.first == name) return p.second;
  return fallback;
}

Pager::Pager(std::string scope, size_t defaultLimit, size_t maxLimit)
    : scope_(std::move(scope)), defaultLimit_(defaultLimit), maxLimit_(maxLimit) {}

std::string Pager::encode(const PageCursor& cursor) const {
  nlohmann::json q = nlohmann::json::array();
  for (const auto& p : cursor.query) q.push_back({p.first, p.second});
  nlohmann::json j = {{"s", scope_}, {"o", cursor.offset}, {"l", cursor.limit}, {"q", q}};
  return base64UrlEncode(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool Pager::decode(const std::string& token, PageCursor& cursor) const {
  std::string text;
  if (token.size() > 65536 || !base64UrlDecode(token, text)) return false;
  nlohmann::json j = nlohmann::json::parse(text, /*cb=*/nullptr, /*allow_exceptions=*/false);
  if (!j.is_object()) return false;
  auto s = j.find("s"), o = j.find("o"), l = j.find("l"), q = j.find("q");
  if (s == j.end() || o == j.end() || l == j.end() || q == j.end()) return false;
  if (!s->is_string() || *s != scope_ || !o->is_number_unsigned() || !l->is_number_unsigned() || !q->is_array())
    return false;
  PageCursor c;
  c.offset = o->get<size_t>();
  c.limit = l->get<size_t>();
  if (c.limit > maxLimit_) return false;
  for (const auto& p : *q) {
    if (!p.is_array() || p.size() != 2 || !p[0].is_string() || !p[1].is_string()) return false;
    c.query.emplace_back(p[0].get<std::string>(), p[1].get<std::string>());
  }
  c.resumed = true;
  cursor = std::move(c);
  return true;
}

bool Pager::begin(const Request& request, PageCursor& cursor, Response& error) const {
  cursor = PageCursor();
  cursor.limit = defaultLimit_;
  std::vector<std::pair<std::string, std::string>> rest;
  bool haveToken = false;
  std::string token, limitText;
  bool haveLimit = false;
  for (const auto& p : request.query) {
    if (p.first == "resume") {
      haveToken = true;
      token = p.second;
    } else if (p.first == "limit") {
      haveLimit = true;
      limitText = p.second;
    } else {
      rest.push_back(p);
    }
  }
  if (haveToken) {
    if (!decode(token, cursor)) {
      error = errorReply(400, "AEC_BAD_REQUEST", "Invalid resume token: " + token);
      return false;
    }
    for (const auto& p : rest) {
      bool replaced = false;
      for (auto& q : cursor.query)
        if (q.first == p.first) {
          q.second = p.second;
          replaced = true;
        }
      if (!replaced) cursor.query.push_back(p);
    }
  } else {
    cursor.query = std::move(rest);
  }
  if (haveLimit) {
    size_t limit = 0;
    if (!parseLimit(limitText, maxLimit_, limit)) {
      error = errorReply(400, "AEC_BAD_REQUEST",
                         "Field: limit must be an integer between 1 and " + std::to_string(maxLimit_));
      return false;
    }
    cursor.limit = limit;
  }
  return true;
}

Page Pager::page(size_t total, const PageCursor& cursor, const Request& request) const {
  Page page;
  page.total = total;
  page.begin = cursor.offset < total ? cursor.offset : total;
  size_t left = total - page.begin;
  page.end = page.begin + (cursor.limit == 0 || cursor.limit > left ? left : cursor.limit);
  bool repeat = request.takeRepeatResumeFault();
  if (page.end < total || repeat) {
    PageCursor next = cursor;
    next.offset = repeat ? page.begin : page.end;
    page.resume = encode(next);
  }
  return page;
}

}  // namespace isim
