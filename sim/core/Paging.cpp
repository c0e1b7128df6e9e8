#include "sim/core/Paging.h"

namespace isim {

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int alphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '-') return 62;
  if (c == '_') return 63;
  return -1;
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

std::string base64UrlEncode(const std::string& data) {
  std::string out;
  size_t i = 0;
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(data[k]); };
  for (; i + 2 < data.size(); i += 3) {
    unsigned v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == data.size()) {
    unsigned v = byte(i) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
  } else if (i + 2 == data.size()) {
    unsigned v = (byte(i) << 16) | (byte(i + 1) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
  }
  return out;
}

bool base64UrlDecode(const std::string& text, std::string& out) {
  out.clear();
  if (text.size() % 4 == 1) return false;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    int v = alphabetIndex(c);
    if (v < 0) return false;
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
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
