#include "sim/namespace/NamespaceModule.h"

#include <charconv>
#include <ctime>
#include <sstream>

#include <CLI/CLI.hpp>

#include "sim/core/Paging.h"
#include "sim/core/Router.h"
#include "sim/core/Server.h"

namespace isim {

namespace {

using nlohmann::json;

const size_t kDefaultPageLimit = 1000;
const unsigned long long kMaxPageLimit = 4294967295ull;
// A sorted listing gives at most this many objects a reply, whatever the limit asked.
const size_t kSortedPageMax = 1000;
const char kTokenScope[] = "namespace";

// The reply for a tree failure, in the cluster's error shape.
Response statusReply(ns::Status status, const std::string& given) {
  std::string path;
  if (!ns::Tree::Normalise(given, path)) path = given;
  switch (status) {
    case ns::Status::kOk: return Response::empty(200);
    case ns::Status::kNotFound: return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + path);
    case ns::Status::kExists:
    case ns::Status::kNotEmpty:
      return errorReply(409, "AEC_CONFLICT", std::string(ns::StatusText(status)) + ": " + path);
    default: return errorReply(400, "AEC_BAD_REQUEST", std::string(ns::StatusText(status)) + ": " + path);
  }
}

std::string HttpDate(uint64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

bool ParseCount(const std::string& text, unsigned long long max, unsigned long long& out) {
  if (text.empty() || text.size() > 20) return false;
  unsigned long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (~0ull - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (value > max) return false;
  out = value;
  return true;
}

// Where a listing continues: the directory, the last name given, the page size and the
// detail asked for. Names rather than offsets, so that entries added or removed between two
// pages neither repeat nor vanish.
struct ListCursor {
  std::string dir;
  std::string after;
  size_t limit = kDefaultPageLimit;
  std::string detail;
};

std::string EncodeCursor(const ListCursor& c) {
  const json token = {{"s", kTokenScope}, {"d", c.dir}, {"a", c.after}, {"l", c.limit}, {"f", c.detail}};
  return base64UrlEncode(token.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool DecodeCursor(const std::string& token, ListCursor& c) {
  std::string text;
  if (token.size() > 65536 || !base64UrlDecode(token, text)) return false;
  const json j = json::parse(text, /*cb=*/nullptr, /*allow_exceptions=*/false);
  if (!j.is_object()) return false;
  const auto s = j.find("s"), d = j.find("d"), a = j.find("a"), l = j.find("l"), f = j.find("f");
  if (s == j.end() || d == j.end() || a == j.end() || l == j.end() || f == j.end()) return false;
  if (!s->is_string() || *s != kTokenScope || !d->is_string() || !a->is_string() || !l->is_number_unsigned() ||
      !f->is_string())
    return false;
  const unsigned long long limit = l->get<unsigned long long>();
  if (limit < 1 || limit > kMaxPageLimit) return false;
  c.dir = d->get<std::string>();
  c.after = a->get<std::string>();
  c.limit = static_cast<size_t>(limit);
  c.detail = f->get<std::string>();
  return true;
}

// The fields a listing can give, in the byte order of their names, which is the order the
// members of a reply object are written in.
enum Field : unsigned {
  kContainerPath = 1u << 0,
  kGroup = 1u << 1,
  kId = 1u << 2,
  kLastModified = 1u << 3,
  kMode = 1u << 4,
  kMtimeVal = 1u << 5,
  kName = 1u << 6,
  kOwner = 1u << 7,
  kSize = 1u << 8,
  kType = 1u << 9,
};
const std::pair<const char*, Field> kFields[] = {
    {"container_path", kContainerPath},
    {"group", kGroup},
    {"id", kId},
    {"last_modified", kLastModified},
    {"mode", kMode},
    {"mtime_val", kMtimeVal},
    {"name", kName},
    {"owner", kOwner},
    {"size", kSize},
    {"type", kType},
};

// The fields named in `detail` ("name" alone when none is; unknown names give nothing).
unsigned DetailFields(const std::string& detail) {
  unsigned fields = 0;
  bool named = false;
  std::stringstream in(detail);
  std::string field;
  while (std::getline(in, field, ',')) {
    if (field == "default") field = "name";
    if (field.empty()) continue;
    named = true;
    for (const auto& f : kFields)
      if (field == f.first) fields |= f.second;
  }
  return named ? fields : unsigned{kName};
}

// A listing page written straight out in the reply style, as formatJson writes the same value:
// the page is the most frequent reply by far, and building it as a JSON value first cost the
// simulator several times what the client spends reading it.
class PageWriter {
 public:
  explicit PageWriter(bool compact) : compact_(compact) {}

  // {"children": [entries...], "resume": token or null}
  std::string Write(const std::vector<ns::Entry>& entries, unsigned fields, const std::string* resume) {
    out_.reserve(64 + entries.size() * 160);
    out_ += compact_ ? "{\"children\":" : "{\n\"children\" : \n";
    if (entries.empty()) {
      out_ += "[]";
    } else {
      out_ += compact_ ? "[" : "[\n";
      for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) out_ += compact_ ? "," : ",\n";
        if (!compact_) out_ += '\n';
        Child(entries[i], fields);
      }
      out_ += compact_ ? "]" : "\n]";
    }
    out_ += compact_ ? ",\"resume\":" : ",\n\"resume\" : ";
    if (resume == nullptr)
      out_ += "null";
    else
      String(*resume);
    out_ += compact_ ? "}" : "\n}";
    return std::move(out_);
  }

 private:
  void Child(const ns::Entry& e, unsigned fields) {
    if (fields == 0) {
      out_ += "{}";
      return;
    }
    out_ += compact_ ? "{" : "{\n";
    bool first = true;
    for (const auto& f : kFields) {
      if ((fields & f.second) == 0) continue;
      if (!first) out_ += compact_ ? "," : ",\n";
      first = false;
      out_ += '"';
      out_ += f.first;
      out_ += compact_ ? "\":" : "\" : ";
      switch (f.second) {
        case kContainerPath: String(e.path.substr(0, e.path.rfind('/'))); break;
        case kGroup: String(e.group); break;
        case kId: Number(e.lin); break;
        case kLastModified: String(HttpDate(e.mtime)); break;
        case kMode: String(e.mode); break;
        case kMtimeVal: Number(e.mtime); break;
        case kName: String(e.name); break;
        case kOwner: String(e.owner); break;
        case kSize: Number(e.size); break;
        case kType: String(e.typeName()); break;
      }
    }
    out_ += compact_ ? "}" : "\n}";
  }

  void String(const std::string& s) {
    // Printable ASCII other than the quote and the backslash stands for itself; anything else
    // (escapes, UTF-8, invalid UTF-8 replaced) is the JSON library's to write.
    for (const char c : s) {
      if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') {
        out_ += json(s).dump(-1, ' ', false, json::error_handler_t::replace);
        return;
      }
    }
    out_ += '"';
    out_ += s;
    out_ += '"';
  }

  void Number(uint64_t n) {
    char digits[20];
    out_.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
  }

  const bool compact_;
  std::string out_;
};

json Attr(const std::string& name, const json& value) {
  return {{"name", name}, {"value", value}, {"namespace", nullptr}};
}

}  // namespace

bool NamespaceModule::ParseGenerateSpec(const std::string& spec, std::string& dir, size_t& files, size_t& dirs,
                                        std::string& error) {
  error = "expected DIR:FILES[:DIRS], e.g. /ifs/big:100000 or /ifs/data/gen:1000:10";
  const size_t first = spec.find(':');
  if (first == std::string::npos || first == 0) return false;
  const size_t second = spec.find(':', first + 1);
  const std::string filesText =
      spec.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  const std::string dirsText = second == std::string::npos ? "0" : spec.substr(second + 1);
  unsigned long long f = 0, d = 0;
  // Bounds keep a typo from exhausting memory; 100 million entries is far past any test.
  if (!ParseCount(filesText, 100000000ull, f) || !ParseCount(dirsText, 1000000ull, d)) return false;
  std::string norm;
  if (!ns::Tree::Normalise(spec.substr(0, first), norm)) {
    error = "DIR must be a path under /ifs";
    return false;
  }
  dir = norm;
  files = static_cast<size_t>(f);
  dirs = static_cast<size_t>(d);
  error.clear();
  return true;
}

void NamespaceModule::addOptions(CLI::App& app) {
  app.add_option_function<std::vector<std::string>>(
      "--ns-seed",
      [this](const std::vector<std::string>& files) {
        for (const std::string& file : files) {
          std::string error;
          if (tree_.SeedFromFile(file, error) != ns::Status::kOk) throw CLI::ValidationError("--ns-seed", error);
        }
      },
      "Fill /ifs from a listing file, lines 'KIND SIZE OWNER MODE MTIME PATH' (KIND d or f, '-' for a default)");
  app.add_option_function<std::vector<std::string>>(
      "--ns-generate",
      [this](const std::vector<std::string>& specs) {
        for (const std::string& spec : specs) {
          std::string dir, error;
          size_t files = 0, dirs = 0;
          if (!ParseGenerateSpec(spec, dir, files, dirs, error)) throw CLI::ValidationError("--ns-generate", error);
          const ns::Status status = tree_.Generate(dir, files, dirs);
          if (status != ns::Status::kOk) throw CLI::ValidationError("--ns-generate", ns::StatusText(status));
        }
      },
      "Generate DIR:FILES[:DIRS]: FILES files spread over DIRS new directories under DIR (repeatable)");
}

void NamespaceModule::seedDemo() {
  // Fixed times, so that demo output is the same on every run.
  std::string error;
  tree_.SeedFromText(
      "d - root 0755 1704067200 /ifs/data\n"
      "d - root 0755 1704067200 /ifs/data/projects\n"
      "f 2048 alice 0644 1704153600 /ifs/data/projects/plan.txt\n"
      "f 73214 alice 0644 1704240000 /ifs/data/projects/budget.xlsx\n"
      "d - bob 0750 1704067200 /ifs/data/home\n"
      "f 512 bob 0600 1704326400 /ifs/data/home/notes.txt\n"
      "d - root 0755 1704067200 /ifs/data/media\n"
      "f 104857600 root 0644 1704412800 /ifs/data/media/intro.mp4\n"
      "f 120 root 0644 1704067200 /ifs/data/README\n",
      error);
}

void NamespaceModule::registerRoutes(Router& router) {
  // The raw path is matched, so an encoded "/" stays inside its name.
  const std::string pattern = "/namespace(/[\\s\\S]*)?";
  router.get(pattern, [this](const Request& r) { return get(r); });
  router.put(pattern, [this](const Request& r) { return put(r); });
  router.del(pattern, [this](const Request& r) { return remove(r); });
  router.post("/_sim/namespace/files", [this](const Request& r) { return addFiles(r); });
}

Response NamespaceModule::addFiles(const Request& request) {
  nlohmann::json body;
  if (!request.jsonBody(body) || !body.is_object() || !body.contains("paths") || !body["paths"].is_array())
    return errorReply(400, "AEC_BAD_REQUEST", "Expected {\"paths\": [PATH, ...]}");
  for (const auto& path : body["paths"]) {
    if (!path.is_string()) return errorReply(400, "AEC_BAD_REQUEST", "Expected {\"paths\": [PATH, ...]}");
  }
  size_t added = 0;
  for (const auto& path : body["paths"]) {
    const ns::Status status = tree_.AddFile(path.get<std::string>(), ns::NewEntry(), /*parents=*/true);
    if (status == ns::Status::kOk) {
      ++added;
    } else if (status != ns::Status::kExists) {
      return statusReply(status, path.get<std::string>());
    }
  }
  return Response::json({{"added", added}});
}

Response NamespaceModule::get(const Request& request) const {
  const std::string path = request.captures.empty() ? std::string() : request.captures[0];
  if (request.hasParam("metadata")) return metadata(path);
  ns::Entry entry;
  if (!tree_.Lookup(path, entry)) {
    std::string norm;
    return statusReply(ns::Tree::Normalise(path, norm) ? ns::Status::kNotFound : ns::Status::kInvalidPath, path);
  }
  // The simulator keeps no file contents: only directories can be read.
  if (!entry.isDirectory())
    return errorReply(400, "AEC_BAD_REQUEST", "Reading file contents is not supported: " + path);
  return list(request, entry.path);
}

Response NamespaceModule::list(const Request& request, const std::string& dir) const {
  ListCursor cursor;
  cursor.dir = dir;
  if (request.hasParam("resume")) {
    const std::string token = request.param("resume");
    if (!DecodeCursor(token, cursor) || cursor.dir != dir)
      return errorReply(400, "AEC_BAD_REQUEST", "Invalid resume token: " + token);
  }
  if (request.hasParam("limit")) {
    const std::string text = request.param("limit");
    unsigned long long limit = 0;
    if (!text.empty() && text[0] == '-' && ParseCount(text.substr(1), ~0ull, limit) && limit > 0) {
      limit = kMaxPageLimit;  // a negative limit asks for everything
    } else if (!ParseCount(text, kMaxPageLimit, limit) || limit == 0) {
      return errorReply(400, "AEC_BAD_REQUEST",
                        "Field: limit must be an integer between 1 and " + std::to_string(kMaxPageLimit));
    }
    cursor.limit = static_cast<size_t>(limit);
  }
  // The cap goes into the resume token, since a page after the first carries no sort argument.
  if (request.hasParam("sort") && cursor.limit > kSortedPageMax) cursor.limit = kSortedPageMax;
  if (request.hasParam("detail")) cursor.detail = request.param("detail");
  if (request.hasParam("sort") && request.param("sort") != "name")
    return errorReply(400, "AEC_BAD_REQUEST", "Unsupported sort field: " + request.param("sort"));
  const std::string dirParam = request.param("dir", "ASC");
  if (dirParam != "ASC" && dirParam != "asc")
    return errorReply(400, "AEC_BAD_REQUEST", "Unsupported sort direction: " + dirParam);

  ns::Page page;
  const ns::Status status = tree_.List(dir, cursor.after, cursor.limit, page);
  if (status != ns::Status::kOk) return statusReply(status, dir);

  std::string resume;
  // A test may ask for a token that names this very page again.
  if (request.takeRepeatResumeFault()) {
    resume = EncodeCursor(cursor);
  } else if (page.more) {
    ListCursor next = cursor;
    next.after = page.entries.back().name;
    resume = EncodeCursor(next);
  }
  PageWriter writer(server().config().compact);
  return Response::laidOutJson(
      writer.Write(page.entries, DetailFields(cursor.detail), resume.empty() ? nullptr : &resume));
}

Response NamespaceModule::metadata(const std::string& path) const {
  ns::Entry e;
  if (!tree_.Lookup(path, e)) {
    std::string norm;
    return statusReply(ns::Tree::Normalise(path, norm) ? ns::Status::kNotFound : ns::Status::kInvalidPath, path);
  }
  json attrs = json::array({Attr("name", e.name), Attr("type", e.typeName()), Attr("size", e.size),
                            Attr("owner", e.owner), Attr("group", e.group), Attr("mode", e.mode),
                            Attr("mtime_val", e.mtime), Attr("last_modified", HttpDate(e.mtime)), Attr("id", e.lin),
                            Attr("is_hidden", !e.name.empty() && e.name[0] == '.')});
  return Response::json({{"attrs", std::move(attrs)}});
}

Response NamespaceModule::put(const Request& request) {
  const std::string path = request.captures.empty() ? std::string() : request.captures[0];
  if (request.hasHeader("x-isi-ifs-copy-source")) return copy(request, path);

  const std::string type = request.header("x-isi-ifs-target-type");
  const std::string overwrite = request.param("overwrite", "false");
  if (overwrite != "true" && overwrite != "false")
    return errorReply(400, "AEC_BAD_REQUEST", "Field: overwrite must be true or false");
  ns::NewEntry attrs;
  if (!request.user.empty()) attrs.owner = request.user;
  if (type == "container") {
    const ns::Status status = tree_.AddDirectory(path, attrs, request.param("recursive") == "true");
    // An existing directory is fine, as on the cluster.
    ns::Entry existing;
    if (status == ns::Status::kExists && tree_.Lookup(path, existing) && existing.isDirectory())
      return Response::empty(200);
    return status == ns::Status::kOk ? Response::empty(200) : statusReply(status, path);
  }
  if (type == "object") {
    attrs.size = request.body.size();
    ns::Status status = tree_.AddFile(path, attrs, /*parents=*/false);
    ns::Entry existing;
    if (status == ns::Status::kExists && overwrite == "true" && tree_.Lookup(path, existing) &&
        !existing.isDirectory()) {
      const uint64_t size = request.body.size();
      status = tree_.Modify(path, [size](ns::Entry& e) {
        e.size = size;
        e.mtime = static_cast<uint64_t>(std::time(nullptr));
      });
    }
    return status == ns::Status::kOk ? Response::empty(200) : statusReply(status, path);
  }
  return errorReply(400, "AEC_BAD_REQUEST",
                    "Header x-isi-ifs-target-type must be container or object, or x-isi-ifs-copy-source given");
}

Response NamespaceModule::copy(const Request& request, const std::string& target) {
  // The HTTP server library hands header values over percent-decoded already; decoding again
  // would turn a name holding "%41" into one holding "A".
  const std::string sourceHeader = request.header("x-isi-ifs-copy-source");
  static const std::string kPrefix = "/namespace/";
  if (sourceHeader.compare(0, kPrefix.size(), kPrefix) != 0)
    return errorReply(400, "AEC_BAD_REQUEST", "Header x-isi-ifs-copy-source must name /namespace/PATH");
  const std::string source = sourceHeader.substr(kPrefix.size() - 1);
  const std::string overwrite = request.param("overwrite", "false");
  if (overwrite != "true" && overwrite != "false")
    return errorReply(400, "AEC_BAD_REQUEST", "Field: overwrite must be true or false");

  const ns::Status status = tree_.Copy(source, target, overwrite == "true");
  if (status == ns::Status::kOk) return Response::empty(200);
  if (status == ns::Status::kExists) {
    // The cluster answers a refused copy with its own list rather than an error reply.
    const json error = {{"code", "AEC_EXISTS"},
                        {"error_src", "target side"},
                        {"message", "target exists and overwrite is false"},
                        {"source", source},
                        {"target", target}};
    return Response::json({{"copy_errors", json::array({error})}, {"success", false}});
  }
  if (status == ns::Status::kNotFound) {
    std::string norm;
    if (ns::Tree::Normalise(source, norm) && !tree_.Exists(norm))
      return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + source);
  }
  return statusReply(status, target);
}

Response NamespaceModule::remove(const Request& request) {
  const std::string path = request.captures.empty() ? std::string() : request.captures[0];
  const ns::Status status = tree_.Remove(path, request.param("recursive") == "true");
  return status == ns::Status::kOk ? Response::empty(204) : statusReply(status, path);
}

}  // namespace isim

ISIM_REGISTER_MODULE(isim::NamespaceModule)
