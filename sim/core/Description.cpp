#include "sim/core/Description.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace isim {

extern const char* const kClusterApiDescription;  // generated from sim/api/cluster-api.json

namespace {

using json = nlohmann::json;

std::string typeOf(const json& v) {
  switch (v.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "integer";
    case json::value_t::number_float: return "number";
    case json::value_t::string: return "string";
    case json::value_t::array: return "array";
    case json::value_t::object: return "object";
    default: return "value";
  }
}

bool isIntegral(const json& v) {
  if (v.is_number_integer()) return true;
  if (!v.is_number_float()) return false;
  const double d = v.get<double>();
  return std::isfinite(d) && std::floor(d) == d;
}

bool typeMatches(const json& v, const std::string& type) {
  if (type == "any") return true;
  if (type == "integer") return isIntegral(v);
  if (type == "number") return v.is_number();
  if (type == "string") return v.is_string();
  if (type == "boolean") return v.is_boolean();
  if (type == "object") return v.is_object();
  if (type == "array") return v.is_array();
  if (type == "null") return v.is_null();
  return false;
}

std::string brief(const json& v) {
  std::string text = v.dump(-1, ' ', false, json::error_handler_t::replace);
  return text.size() > 64 ? text.substr(0, 61) + "..." : text;
}

std::string numberText(const json& v) { return v.dump(); }

std::string child(const std::string& field, const std::string& name) {
  return field.empty() ? name : field + "." + name;
}

void add(std::vector<SchemaProblem>& out, const std::string& field, SchemaProblem::Kind kind, const std::string& what) {
  out.push_back({field, kind, field.empty() ? what : "Field: " + field + " has error: " + what});
}

std::string typeNames(const json& type) {
  if (type.is_string()) return type.get<std::string>();
  std::string names;
  for (const auto& t : type) {
    const std::string name = t.is_string() ? t.get<std::string>() : t.is_object() ? t.value("type", "any") : "any";
    if (!names.empty()) names += " or ";
    names += name;
  }
  return names;
}

void check(const json& value, const json& schema, const std::string& field, std::vector<SchemaProblem>& out);

// Everything but "type": the keywords that apply once the type is right.
void checkKeywords(const json& value, const json& schema, const std::string& field, std::vector<SchemaProblem>& out) {
  auto it = schema.find("enum");
  if (it != schema.end() && it->is_array() && std::find(it->begin(), it->end(), value) == it->end()) {
    std::string allowed;
    for (const auto& e : *it) allowed += (allowed.empty() ? "" : ", ") + brief(e);
    add(out, field, SchemaProblem::Kind::kEnum,
        "The value " + brief(value) + " is not one of the values the schema allows: " + allowed + ".");
  }
  if (value.is_number()) {
    it = schema.find("minimum");
    if (it != schema.end() && it->is_number() && value.get<double>() < it->get<double>())
      add(out, field, SchemaProblem::Kind::kMinimum,
          "The value " + numberText(value) + " is less than the minimum " + numberText(*it) + ".");
    it = schema.find("maximum");
    if (it != schema.end() && it->is_number() && value.get<double>() > it->get<double>())
      add(out, field, SchemaProblem::Kind::kMaximum,
          "The value " + numberText(value) + " is greater than the maximum " + numberText(*it) + ".");
  }
  if (value.is_string()) {
    const size_t length = value.get_ref<const std::string&>().size();
    it = schema.find("minLength");
    if (it != schema.end() && it->is_number_unsigned() && length < it->get<size_t>())
      add(out, field, SchemaProblem::Kind::kLength,
          "The value is shorter than the minimum length " + numberText(*it) + ".");
    it = schema.find("maxLength");
    if (it != schema.end() && it->is_number_unsigned() && length > it->get<size_t>())
      add(out, field, SchemaProblem::Kind::kLength,
          "The value is longer than the maximum length " + numberText(*it) + ".");
  }
  if (value.is_object()) {
    const auto props = schema.find("properties");
    const bool closed = schema.contains("additionalProperties") && schema["additionalProperties"] == false;
    if (props != schema.end() && props->is_object()) {
      for (const auto& p : props->items())
        if (p.value().is_object() && p.value().value("required", false) && !value.contains(p.key()))
          add(out, child(field, p.key()), SchemaProblem::Kind::kRequired, "A required property is missing.");
    }
    const auto extra = schema.find("additionalProperties");
    for (const auto& m : value.items()) {
      if (props != schema.end() && props->is_object()) {
        const auto declared = props->find(m.key());
        if (declared != props->end()) {
          check(m.value(), *declared, child(field, m.key()), out);
          continue;
        }
      }
      if (closed)
        add(out, child(field, m.key()), SchemaProblem::Kind::kUnknownMember,
            "A property was present that is not defined by the schema.");
      else if (extra != schema.end() && extra->is_object())
        check(m.value(), *extra, child(field, m.key()), out);
    }
  }
  if (value.is_array()) {
    it = schema.find("minItems");
    if (it != schema.end() && it->is_number_unsigned() && value.size() < it->get<size_t>())
      add(out, field, SchemaProblem::Kind::kItems,
          "The list has fewer than the minimum " + numberText(*it) + " items.");
    it = schema.find("items");
    if (it != schema.end() && it->is_object())
      for (size_t i = 0; i < value.size(); ++i) check(value[i], *it, field + "[" + std::to_string(i) + "]", out);
  }
}

void check(const json& value, const json& schema, const std::string& field, std::vector<SchemaProblem>& out) {
  if (!schema.is_object()) return;
  const auto type = schema.find("type");
  if (type == schema.end() || (type->is_string() && typeMatches(value, type->get<std::string>()))) {
    checkKeywords(value, schema, field, out);
    return;
  }
  if (type->is_array()) {
    // Alternatives: the first that fits wins; else the problems of the closest one whose type
    // is right, else a type problem naming them all.
    std::vector<SchemaProblem> best;
    bool typed = false;
    for (const auto& alternative : *type) {
      std::vector<SchemaProblem> problems;
      if (alternative.is_string()) {
        if (!typeMatches(value, alternative.get<std::string>())) continue;
        checkKeywords(value, schema, field, problems);
      } else if (alternative.is_object()) {
        const auto inner = alternative.find("type");
        if (inner != alternative.end() && inner->is_string() && !typeMatches(value, inner->get<std::string>()))
          continue;
        check(value, alternative, field, problems);
        if (problems.empty()) checkKeywords(value, schema, field, problems);
      } else {
        continue;
      }
      if (problems.empty()) return;
      if (!typed || problems.size() < best.size()) best = std::move(problems);
      typed = true;
    }
    if (typed) {
      out.insert(out.end(), best.begin(), best.end());
      return;
    }
  }
  add(out, field, SchemaProblem::Kind::kType,
      "The value " + brief(value) + " is of type " + typeOf(value) + " where the schema defines " + typeNames(*type) +
          ".");
}

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> out;
  size_t start = path.empty() || path[0] != '/' ? 0 : 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    out.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

bool matches(const std::vector<std::string>& pattern, size_t p, const std::vector<std::string>& path, size_t s) {
  if (p == pattern.size()) return s == path.size();
  if (s == path.size()) return false;
  const std::string& seg = pattern[p];
  const bool placeholder = seg.size() > 2 && seg.front() == '<' && seg.back() == '>';
  if (!placeholder) return seg == path[s] && matches(pattern, p + 1, path, s + 1);
  if (path[s].empty()) return false;
  if (seg[seg.size() - 2] != '+') return matches(pattern, p + 1, path, s + 1);
  for (size_t end = s + 1; end <= path.size(); ++end) {
    if (path[end - 1].empty()) return false;
    if (matches(pattern, p + 1, path, end)) return true;
  }
  return false;
}

}  // namespace

std::vector<SchemaProblem> checkSchema(const json& value, const json& schema, const std::string& field) {
  std::vector<SchemaProblem> out;
  check(value, schema, field, out);
  return out;
}

void pruneToSchema(json& value, const json& schema) {
  if (!schema.is_object()) return;
  const auto type = schema.find("type");
  if (type != schema.end() && type->is_array()) {
    // The first alternative that is a schema of the value's kind applies.
    for (const auto& alternative : *type) {
      if (!alternative.is_object()) continue;
      const std::string kind = alternative.value("type", "");
      if ((kind == "object" && value.is_object()) || (kind == "array" && value.is_array())) {
        pruneToSchema(value, alternative);
        return;
      }
    }
    return;
  }
  if (value.is_object()) {
    const auto properties = schema.find("properties");
    if (properties == schema.end() || !properties->is_object()) return;
    for (auto m = value.begin(); m != value.end();) {
      const auto declared = properties->find(m.key());
      if (declared == properties->end()) {
        m = value.erase(m);
      } else {
        pruneToSchema(m.value(), *declared);
        ++m;
      }
    }
  } else if (value.is_array()) {
    const auto items = schema.find("items");
    if (items == schema.end()) return;
    for (auto& element : value) pruneToSchema(element, *items);
  }
}

json queryValue(const std::string& text, const json& schema) {
  std::vector<std::string> types;
  const auto type = schema.find("type");
  if (type != schema.end()) {
    if (type->is_string()) types.push_back(type->get<std::string>());
    if (type->is_array())
      for (const auto& t : *type)
        if (t.is_string()) types.push_back(t.get<std::string>());
  }
  auto wants = [&types](const char* name) { return std::find(types.begin(), types.end(), name) != types.end(); };
  if (wants("boolean") && (text == "true" || text == "false")) return text == "true";
  if ((wants("integer") || wants("number")) && !text.empty()) {
    const bool digits =
        std::all_of(text.begin() + (text[0] == '-' ? 1 : 0), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        text != "-";
    if (digits) {
      errno = 0;
      const long long n = std::strtoll(text.c_str(), nullptr, 10);
      if (errno == 0) return n;
    }
    if (wants("number")) {
      char* end = nullptr;
      const double d = std::strtod(text.c_str(), &end);
      if (end != nullptr && *end == '\0' && std::isfinite(d)) return d;
    }
  }
  return text;
}

const json* ApiDescription::Resource::part(const std::string& method, const char* suffix) const {
  const std::string key = (method == "HEAD" ? std::string("GET") : method) + "_" + suffix;
  const auto it = data->find(key);
  return it == data->end() ? nullptr : &*it;
}

const ApiDescription& ApiDescription::builtIn() {
  static const ApiDescription description(kClusterApiDescription);
  return description;
}

ApiDescription::ApiDescription(const std::string& text) : data_(json::parse(text)) {
  for (const auto& r : data_.at("releases").items()) {
    Release release;
    release.highest = r.value().at("highest_api_version").get<int>();
    std::map<std::string, size_t> index;
    for (const auto& p : r.value().at("served_paths")) {
      const std::string path = p.get<std::string>();
      const size_t slash = path.find('/', 1);
      const int version = std::stoi(path.substr(1, slash - 1));
      const std::string name = path.substr(slash);
      auto found = index.find(name);
      if (found == index.end()) {
        Template t;
        t.name = name;
        t.segments = splitPath(name);
        for (const auto& s : t.segments)
          if (s.empty() || s.front() != '<') ++t.literals;
        found = index.emplace(name, release.templates.size()).first;
        release.templates.push_back(std::move(t));
      }
      release.templates[found->second].versions.push_back(version);
    }
    for (auto& t : release.templates) std::sort(t.versions.begin(), t.versions.end());
    // Where two templates fit one path, the one with more fixed segments names it.
    std::stable_sort(release.templates.begin(), release.templates.end(),
                     [](const Template& a, const Template& b) { return a.literals > b.literals; });
    for (const auto& res : r.value().at("resources").items())
      release.resources[res.key()] = Resource{res.key(), res.value().at("version").get<int>(), &res.value()};
    releases_[r.key()] = std::move(release);
  }
}

std::vector<std::string> ApiDescription::releases() const {
  std::vector<std::string> out;
  for (const auto& r : releases_) out.push_back(r.first);
  return out;
}

int ApiDescription::highestApiVersion(const std::string& release) const {
  const auto it = releases_.find(release);
  return it == releases_.end() ? 0 : it->second.highest;
}

ApiDescription::Found ApiDescription::find(const std::string& release, int version, const std::string& rest,
                                           Match& out) const {
  const auto r = releases_.find(release);
  if (r == releases_.end() || version < 1 || version > r->second.highest) return Found::kNotServed;
  std::vector<std::string> path = splitPath(rest);
  if (path.size() > 1 && path.back().empty()) path.pop_back();  // a trailing slash names the same resource
  bool known = false;
  for (const auto& other : releases_)
    for (const Template& t : other.second.templates)
      if (!known && matches(t.segments, 0, path, 0)) known = true;
  if (!known) return Found::kUnknown;
  for (const Template& t : r->second.templates) {
    if (!matches(t.segments, 0, path, 0)) continue;
    int served = 0;
    for (int v : t.versions)
      if (v <= version) served = v;
    if (served == 0) continue;
    out.name = t.name;
    out.servedVersion = served;
    const auto res = r->second.resources.find(t.name);
    out.resource = res == r->second.resources.end() ? nullptr : &res->second;
    return Found::kServed;
  }
  return Found::kNotServed;
}

}  // namespace isim
