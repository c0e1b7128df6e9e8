#include "sim/namespace/Tree.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace isim {
namespace ns {

struct Tree::Node {
  Entry attrs;  // `path` is left empty: it follows from where the node hangs
  std::map<std::string, std::unique_ptr<Node>> children;
};

namespace {

using NodePtr = std::unique_ptr<Tree::Node>;

uint64_t Now() { return static_cast<uint64_t>(std::time(nullptr)); }

// Splits a normalised path into its components after "ifs".
std::vector<std::string> Components(const std::string& normalised) {
  std::vector<std::string> parts;
  size_t pos = 4;  // past "/ifs"
  while (pos < normalised.size()) {
    const size_t next = normalised.find('/', pos + 1);
    parts.push_back(normalised.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
    pos = next == std::string::npos ? normalised.size() : next;
  }
  return parts;
}

void SplitParent(const std::string& normalised, std::string& parent, std::string& name) {
  const size_t slash = normalised.rfind('/');
  parent = normalised.substr(0, slash);
  name = normalised.substr(slash + 1);
}

Entry WithPath(const Entry& attrs, const std::string& path) {
  Entry out = attrs;
  out.path = path;
  return out;
}

size_t CountNodes(const Tree::Node& node) {
  size_t n = 1;
  for (const auto& child : node.children) n += CountNodes(*child.second);
  return n;
}

}  // namespace

// Deep copies, optionally giving every copied node a fresh LIN.
struct TreeCopier {
  uint64_t* nextLin;  // null: keep the LINs
  NodePtr Clone(const Tree::Node& from) const {
    NodePtr to(new Tree::Node);
    to->attrs = from.attrs;
    if (nextLin != nullptr) to->attrs.lin = (*nextLin)++;
    for (const auto& child : from.children) to->children.emplace(child.first, Clone(*child.second));
    return to;
  }
};

const char* StatusText(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kInvalidPath: return "invalid path";
    case Status::kNotFound: return "no such file or directory";
    case Status::kNotDirectory: return "not a directory";
    case Status::kExists: return "file exists";
    case Status::kNotEmpty: return "directory not empty";
    case Status::kIntoItself: return "cannot copy a directory into itself";
    case Status::kBadSeed: return "bad seed line";
  }
  return "unknown";
}

Tree::Tree() : root_(new Node), nextLin_(2), count_(1) {
  root_->attrs.name = "ifs";
  root_->attrs.type = EntryType::kDirectory;
  root_->attrs.mode = "0755";
  root_->attrs.mtime = Now();
  root_->attrs.lin = nextLin_++;
}

Tree::~Tree() = default;

bool Tree::Normalise(const std::string& path, std::string& out) {
  out.clear();
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos < path.size()) {
    if (path[pos] == '/') {
      ++pos;
      continue;
    }
    const size_t next = path.find('/', pos);
    parts.push_back(path.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
    pos = next == std::string::npos ? path.size() : next;
  }
  if (path.empty() || path[0] != '/' || parts.empty() || parts[0] != "ifs") return false;
  out = "/ifs";
  for (size_t i = 1; i < parts.size(); ++i) {
    if (parts[i] == "." || parts[i] == "..") {
      out.clear();
      return false;
    }
    out += "/" + parts[i];
  }
  return true;
}

Tree::Node* Tree::Find(const std::string& normalised) const {
  Node* node = root_.get();
  for (const std::string& part : Components(normalised)) {
    if (!node->attrs.isDirectory()) return nullptr;
    auto it = node->children.find(part);
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

bool Tree::Lookup(const std::string& path, Entry& out) const {
  std::string norm;
  if (!Normalise(path, norm)) return false;
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const Node* node = Find(norm);
  if (node == nullptr) return false;
  out = WithPath(node->attrs, norm);
  return true;
}

bool Tree::Exists(const std::string& path) const {
  Entry unused;
  return Lookup(path, unused);
}

Status Tree::List(const std::string& dir, const std::string& after, size_t limit, Page& page) const {
  page.entries.clear();
  page.more = false;
  std::string norm;
  if (!Normalise(dir, norm)) return Status::kInvalidPath;
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const Node* node = Find(norm);
  if (node == nullptr) return Status::kNotFound;
  if (!node->attrs.isDirectory()) return Status::kNotDirectory;
  const size_t count = node->children.size();
  page.entries.reserve(limit != 0 && limit < count ? limit : count);
  auto it = after.empty() ? node->children.begin() : node->children.upper_bound(after);
  for (; it != node->children.end(); ++it) {
    if (limit != 0 && page.entries.size() == limit) {
      page.more = true;
      break;
    }
    page.entries.push_back(WithPath(it->second->attrs, norm + "/" + it->first));
  }
  return Status::kOk;
}

size_t Tree::ChildCount(const std::string& dir) const {
  std::string norm;
  if (!Normalise(dir, norm)) return 0;
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const Node* node = Find(norm);
  return node == nullptr ? 0 : node->children.size();
}

namespace {
void WalkNode(const Tree::Node& node, const std::string& path, const std::function<void(const Entry&)>& visit) {
  visit(WithPath(node.attrs, path));
  for (const auto& child : node.children) WalkNode(*child.second, path + "/" + child.first, visit);
}
}  // namespace

Status Tree::Walk(const std::string& path, const std::function<void(const Entry&)>& visit) const {
  std::string norm;
  if (!Normalise(path, norm)) return Status::kInvalidPath;
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const Node* node = Find(norm);
  if (node == nullptr) return Status::kNotFound;
  WalkNode(*node, norm, visit);
  return Status::kOk;
}

Status Tree::AddLocked(const std::string& norm, EntryType type, const NewEntry& attrs, bool parents) {
  if (norm == "/ifs") return Status::kExists;
  std::string parentPath, name;
  SplitParent(norm, parentPath, name);
  Node* parent = Find(parentPath);
  if (parent == nullptr) {
    if (!parents) return Status::kNotFound;
    const Status made = AddLocked(parentPath, EntryType::kDirectory, NewEntry(), /*parents=*/true);
    if (made != Status::kOk) return made;
    parent = Find(parentPath);
  }
  if (!parent->attrs.isDirectory()) return Status::kNotDirectory;
  if (parent->children.count(name) != 0) return Status::kExists;
  NodePtr node(new Node);
  node->attrs.name = name;
  node->attrs.type = type;
  node->attrs.owner = attrs.owner;
  node->attrs.group = attrs.group;
  node->attrs.mode = !attrs.mode.empty() ? attrs.mode : (type == EntryType::kDirectory ? "0755" : "0644");
  node->attrs.size = type == EntryType::kDirectory ? 0 : attrs.size;
  node->attrs.mtime = attrs.mtime != 0 ? attrs.mtime : Now();
  node->attrs.lin = nextLin_++;
  parent->children.emplace(name, std::move(node));
  ++count_;
  return Status::kOk;
}

Status Tree::AddDirectory(const std::string& path, const NewEntry& attrs, bool parents) {
  std::string norm;
  if (!Normalise(path, norm)) return Status::kInvalidPath;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  return AddLocked(norm, EntryType::kDirectory, attrs, parents);
}

Status Tree::AddFile(const std::string& path, const NewEntry& attrs, bool parents) {
  std::string norm;
  if (!Normalise(path, norm)) return Status::kInvalidPath;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  return AddLocked(norm, EntryType::kFile, attrs, parents);
}

Status Tree::Modify(const std::string& path, const std::function<void(Entry&)>& change) {
  std::string norm;
  if (!Normalise(path, norm)) return Status::kInvalidPath;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  Node* node = Find(norm);
  if (node == nullptr) return Status::kNotFound;
  Entry edited = WithPath(node->attrs, norm);
  change(edited);
  node->attrs.size = node->attrs.isDirectory() ? 0 : edited.size;
  node->attrs.mode = edited.mode;
  node->attrs.owner = edited.owner;
  node->attrs.group = edited.group;
  node->attrs.mtime = edited.mtime;
  return Status::kOk;
}

Status Tree::Remove(const std::string& path, bool recursive) {
  std::string norm;
  if (!Normalise(path, norm) || norm == "/ifs") return Status::kInvalidPath;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  std::string parentPath, name;
  SplitParent(norm, parentPath, name);
  Node* parent = Find(parentPath);
  if (parent == nullptr) return Status::kNotFound;
  auto it = parent->children.find(name);
  if (it == parent->children.end()) return Status::kNotFound;
  if (!it->second->children.empty() && !recursive) return Status::kNotEmpty;
  count_ -= CountNodes(*it->second);
  parent->children.erase(it);
  return Status::kOk;
}

namespace {

// Puts `copy` at `name` under `parent`: a new name is inserted; an existing directory meeting
// a directory is merged entry by entry; anything else is replaced. Returns the change in the
// number of nodes.
long long Place(Tree::Node& parent, const std::string& name, NodePtr copy) {
  auto it = parent.children.find(name);
  if (it == parent.children.end()) {
    const long long added = static_cast<long long>(CountNodes(*copy));
    copy->attrs.name = name;
    parent.children.emplace(name, std::move(copy));
    return added;
  }
  Tree::Node& existing = *it->second;
  if (existing.attrs.isDirectory() && copy->attrs.isDirectory()) {
    long long delta = 0;
    for (auto& child : copy->children) delta += Place(existing, child.first, std::move(child.second));
    existing.attrs.mode = copy->attrs.mode;
    existing.attrs.owner = copy->attrs.owner;
    existing.attrs.group = copy->attrs.group;
    existing.attrs.mtime = copy->attrs.mtime;
    return delta;
  }
  const long long delta = static_cast<long long>(CountNodes(*copy)) - static_cast<long long>(CountNodes(existing));
  copy->attrs.name = name;
  it->second = std::move(copy);
  return delta;
}

}  // namespace

Status Tree::Copy(const std::string& source, const std::string& target, bool overwrite) {
  std::string from, to;
  if (!Normalise(source, from) || !Normalise(target, to) || to == "/ifs") return Status::kInvalidPath;
  if (to == from || to.compare(0, from.size() + 1, from + "/") == 0) return Status::kIntoItself;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  const Node* src = Find(from);
  if (src == nullptr) return Status::kNotFound;
  std::string parentPath, name;
  SplitParent(to, parentPath, name);
  Node* parent = Find(parentPath);
  if (parent == nullptr) return Status::kNotFound;
  if (!parent->attrs.isDirectory()) return Status::kNotDirectory;
  if (parent->children.count(name) != 0 && !overwrite) return Status::kExists;
  // Clone first: the source may hang below the target's parent.
  NodePtr copy = TreeCopier{&nextLin_}.Clone(*src);
  const long long delta = Place(*parent, name, std::move(copy));
  count_ = static_cast<size_t>(static_cast<long long>(count_) + delta);
  return Status::kOk;
}

std::unique_ptr<Tree> Tree::Freeze(const std::string& path) const {
  std::string norm;
  if (!Normalise(path, norm)) return nullptr;
  std::unique_ptr<Tree> frozen(new Tree);
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const Node* node = Find(norm);
  if (node == nullptr) return nullptr;
  frozen->root_->attrs = root_->attrs;
  if (norm == "/ifs") {
    frozen->root_ = TreeCopier{nullptr}.Clone(*root_);
  } else {
    Node* from = root_.get();
    Node* to = frozen->root_.get();
    const std::vector<std::string> parts = Components(norm);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      from = from->children.find(parts[i])->second.get();
      NodePtr bare(new Node);
      bare->attrs = from->attrs;
      Node* next = bare.get();
      to->children.emplace(parts[i], std::move(bare));
      to = next;
    }
    to->children.emplace(parts.back(), TreeCopier{nullptr}.Clone(*node));
  }
  frozen->nextLin_ = nextLin_;
  frozen->count_ = CountNodes(*frozen->root_);
  return frozen;
}

Status Tree::SeedFromText(const std::string& text, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream fields(line);
    std::string kind, size, owner, mode, mtime;
    fields >> kind >> size >> owner >> mode >> mtime;
    std::string path;
    std::getline(fields >> std::ws, path);
    NewEntry attrs;
    bool ok = (kind == "d" || kind == "f") && !path.empty();
    try {
      if (ok && size != "-") attrs.size = std::stoull(size);
      if (ok && mtime != "-") attrs.mtime = std::stoull(mtime);
    } catch (...) {
      ok = false;
    }
    if (ok && owner != "-") attrs.owner = owner;
    if (ok && mode != "-") attrs.mode = mode;
    if (!ok) {
      error = "line " + std::to_string(number) + ": expected KIND SIZE OWNER MODE MTIME PATH";
      return Status::kBadSeed;
    }
    const Status status =
        kind == "d" ? AddDirectory(path, attrs, /*parents=*/true) : AddFile(path, attrs, /*parents=*/true);
    if (status != Status::kOk && !(status == Status::kExists && kind == "d")) {
      error = "line " + std::to_string(number) + ": " + path + ": " + StatusText(status);
      return status;
    }
  }
  return Status::kOk;
}

Status Tree::SeedFromFile(const std::string& file, std::string& error) {
  std::ifstream in(file);
  if (!in) {
    error = "cannot read " + file;
    return Status::kBadSeed;
  }
  std::stringstream text;
  text << in.rdbuf();
  return SeedFromText(text.str(), error);
}

Status Tree::Generate(const std::string& dir, size_t files, size_t dirs, uint64_t fileSize) {
  std::string norm;
  if (!Normalise(dir, norm)) return Status::kInvalidPath;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  if (Find(norm) == nullptr) {
    const Status made = AddLocked(norm, EntryType::kDirectory, NewEntry(), /*parents=*/true);
    if (made != Status::kOk) return made;
  }
  char name[32];
  std::vector<std::string> parents;
  for (size_t d = 0; d < dirs; ++d) {
    std::snprintf(name, sizeof name, "/d%06zu", d);
    const Status made = AddLocked(norm + name, EntryType::kDirectory, NewEntry(), /*parents=*/false);
    if (made != Status::kOk && made != Status::kExists) return made;
    parents.push_back(norm + name);
  }
  if (parents.empty()) parents.push_back(norm);
  NewEntry attrs;
  attrs.size = fileSize;
  for (size_t f = 0; f < files; ++f) {
    std::snprintf(name, sizeof name, "/f%07zu", f);
    const Status made = AddLocked(parents[f % parents.size()] + name, EntryType::kFile, attrs, /*parents=*/false);
    if (made != Status::kOk && made != Status::kExists) return made;
  }
  return Status::kOk;
}

size_t Tree::Count() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return count_;
}

uint64_t Tree::NextLin() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return nextLin_;
}

}  // namespace ns
}  // namespace isim
