#pragma once
// The simulated cluster's file system under /ifs: directories and files with owner, group,
// mode, size, modification time and a LIN (the cluster's inode number).
//
// API in short (every member is thread-safe; readers share, writers exclude):
//   Lookup(path)                     -> attributes of one entry, or nothing
//   List(dir, after, limit, page)    -> children in name order, after a name, at most limit
//   Walk(path, visit)                -> the entry and everything below it, depth first in name order
//   AddDirectory / AddFile           -> create an entry (optionally with missing parents)
//   Modify(path, change)             -> change size, mode, owner, group or mtime of one entry
//   Remove(path, recursive)          -> delete an entry (a non-empty directory needs recursive)
//   Copy(source, target, overwrite)  -> deep copy of a file or a whole subtree, new LINs
//   Freeze(path)                     -> a consistent, independent copy of a subtree (same LINs),
//                                       for snapshots: a Tree of its own, read with the same API
//   SeedFromFile / SeedFromText      -> entries from a listing (format below)
//   Generate(dir, files, dirs)       -> N files spread over M new directories under dir
// Paths are absolute and start with /ifs; repeated slashes and a trailing slash are ignored,
// "." and ".." components are refused.
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace isim {
namespace ns {

enum class EntryType { kDirectory, kFile };

// One entry's attributes as the namespace interface reports them.
struct Entry {
  std::string name;  // last component ("ifs" for the root)
  std::string path;  // normalised full path
  EntryType type = EntryType::kFile;
  std::string owner = "root";
  std::string group = "wheel";
  std::string mode;  // octal text such as "0755"
  uint64_t size = 0;
  uint64_t mtime = 0;  // seconds since the epoch
  uint64_t lin = 0;

  bool isDirectory() const { return type == EntryType::kDirectory; }
  // "container" or "object", the cluster's type names.
  const char* typeName() const { return isDirectory() ? "container" : "object"; }
};

enum class Status {
  kOk,
  kInvalidPath,   // not under /ifs, or with "." / ".." / empty name
  kNotFound,      // the entry (or for a create, its parent) does not exist
  kNotDirectory,  // a directory was needed
  kExists,        // the entry exists already
  kNotEmpty,      // a directory with children was to be removed without recursive
  kIntoItself,    // a copy target inside its own source
  kBadSeed,       // a seed line could not be read
};
const char* StatusText(Status status);

// Attributes for a new entry; mode empty means "0755" for directories, "0644" for files,
// mtime 0 means now.
struct NewEntry {
  std::string owner = "root";
  std::string group = "wheel";
  std::string mode;
  uint64_t size = 0;
  uint64_t mtime = 0;
};

// One listing page.
struct Page {
  std::vector<Entry> entries;
  bool more = false;  // entries remain after the last one given
};

class Tree {
 public:
  Tree();  // holds the directory /ifs alone
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // "/ifs//a/b/" -> "/ifs/a/b"; false for paths outside /ifs or with "." / ".." components.
  static bool Normalise(const std::string& path, std::string& out);

  bool Lookup(const std::string& path, Entry& out) const;
  bool Exists(const std::string& path) const;
  // Children of `dir` whose names sort after `after` (empty: from the start), at most `limit`
  // (0: all). Names sort by byte value.
  Status List(const std::string& dir, const std::string& after, size_t limit, Page& page) const;
  // Number of children of a directory (0 for a file or a missing path).
  size_t ChildCount(const std::string& dir) const;
  // Visits `path` and everything below it, parents before children, children in name order.
  // The visitor must not call back into the tree.
  Status Walk(const std::string& path, const std::function<void(const Entry&)>& visit) const;

  Status AddDirectory(const std::string& path, const NewEntry& attrs = NewEntry(), bool parents = false);
  Status AddFile(const std::string& path, const NewEntry& attrs = NewEntry(), bool parents = false);
  // Changes the entry's attributes in place; `change` may alter size, mode, owner, group and
  // mtime (name, path, type and LIN are kept).
  Status Modify(const std::string& path, const std::function<void(Entry&)>& change);
  Status Remove(const std::string& path, bool recursive);
  // Copies `source` (file or directory tree) to `target`, whose parent must exist. An existing
  // target needs `overwrite`: a file is replaced, a directory receives the source's entries.
  Status Copy(const std::string& source, const std::string& target, bool overwrite);

  // An independent copy holding `path` and everything below it, with the same attributes and
  // LINs, taken under one lock (so it is consistent); the parents of `path` are copied as bare
  // directories. Null when the path does not exist.
  std::unique_ptr<Tree> Freeze(const std::string& path) const;

  // Seed listing, one entry a line ('#' starts a comment line):
  //   KIND SIZE OWNER MODE MTIME PATH
  // KIND is d or f; "-" keeps the default of SIZE, OWNER, MODE or MTIME; PATH is the rest of the
  // line and may hold blanks. Missing parents are created.
  Status SeedFromText(const std::string& text, std::string& error);
  Status SeedFromFile(const std::string& file, std::string& error);
  // Creates `dirs` directories dir/d000000... (none when 0) and spreads `files` files
  // f0000000... over them round-robin (or puts them all in `dir` when dirs is 0). `dir` and its
  // parents are created when missing.
  Status Generate(const std::string& dir, size_t files, size_t dirs, uint64_t fileSize = 1024);

  // Opaque to users of the tree.
  struct Node;

  // Number of entries, /ifs included.
  size_t Count() const;
  // The LIN the next new entry gets (LINs are never reused).
  uint64_t NextLin() const;

 private:
  Node* Find(const std::string& normalised) const;
  Status AddLocked(const std::string& path, EntryType type, const NewEntry& attrs, bool parents);

  mutable std::shared_mutex mutex_;
  std::unique_ptr<Node> root_;
  uint64_t nextLin_;
  size_t count_;
};

}  // namespace ns
}  // namespace isim
