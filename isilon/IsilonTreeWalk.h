#pragma once
/// @file
/// A whole directory tree read with several sessions at once.
///
/// A cluster answers each listing page after some milliseconds, so a tree read one page at a
/// time is bound by that latency. IsilonTreeWalk reads N directories at a time, each with its
/// own ManageIsilon session on its own thread, and hands every page to the caller:
///
/// @code
///   IsilonTreeWalk walk("cluster.example.com", "backup", password);
///   walk.SetParallel(8);
///   walk.OnPage([&](const std::string& dir, std::vector<_IsilonFileInfo>& entries) {
///     for (auto& e : entries) catalog.Add(e);   // one thread at a time
///     return !cancelled;                          // false stops the walk
///   });
///   walk.OnFailure([&](const IsilonTreeWalkFailure& f) { log(f.strPath, f.strCode, f.strMessage); });
///   bool complete = walk.Run("/ifs/data");
/// @endcode
///
/// Each directory is read with ManageIsilon::GetFileList and its resume tokens, so session
/// expiry and transient faults are handled by the session's own request cycle. A directory that
/// fails (at its first page or later) is reported and the walk goes on with the others, unless
/// the cluster is gone: when the last request of every session of the walk reached none of the
/// cluster's nodes (connection refused, or cut before the request went out, on every node the
/// session knows), that failure is reported with its cause and the walk ends. An entry whose
/// name names no entry of its directory ("", "." or "..", or with a "/" or a NUL in it, as only
/// a faulty or hostile server lists) is reported as a failure of its directory, neither handed
/// to the page callback nor followed.
///
/// Memory is bounded whatever the tree's width, depth or size: directories waiting to be read
/// sit in one shared queue of at most SetMaxPending() paths. A worker that finds
/// subdirectories while the queue is full reads them itself, depth first, before the next page
/// of their parent; for that it keeps, per level of its descent, the directory's resume token
/// and the not yet read subdirectories of one page (at most the page size). So the walk holds
/// at most: the queue, plus per worker one page and (depth x page size) subdirectory paths.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Export.h"
#include "isilon/ManageIsilon.h"

/// A directory that could not be read (wholly or from some page on).
struct ISILON_API IsilonTreeWalkFailure {
  std::string strPath;     ///< the directory's full cluster path
  std::string strCode;     ///< the session's last error code
  std::string strMessage;  ///< the session's last error message
  std::string strCause;    ///< the transport's cause (connection refused, time-out, ...), or empty
};

/// A whole directory tree read with several sessions at once (see the file's description).
///
/// Set it up, then Run() it on one thread, which serves as one of the workers; Stop() may be
/// called from any thread meanwhile, and so may Stopped() and the counts. One walk runs at a
/// time per object.
class ISILON_API IsilonTreeWalk {
 public:
  /// Gets one page of `directory`'s entries (full paths in strPath). The entries may be moved
  /// from. Calls never overlap (one thread at a time, not always the same one). Return false to
  /// stop the walk.
  using PageCallback = std::function<bool(const std::string& directory, std::vector<_IsilonFileInfo>& entries)>;
  /// Gets each failed directory; calls never overlap, nor with the page callback.
  using FailureCallback = std::function<void(const IsilonTreeWalkFailure& failure)>;
  /// Makes one ready-to-use session (server, user and password set). A worker given null takes
  /// no part: its directory goes to the others, and only when none of them has a session is it
  /// reported as failed ("No session could be made for the walk.").
  /// Called on the worker threads (the first time each needs a session), possibly at once.
  /// Worker i's session starts on node i of the cluster (ManageIsilon::SetFirstNode), and the
  /// sessions of one Run resume each other's TLS sessions with a node: only for the same node
  /// and the same TLS settings (CA file, verification), and never those of another Run.
  using SessionFactory = std::function<std::unique_ptr<ManageIsilon>()>;

  /// The most sessions (and threads) a walk may use.
  static constexpr int kMaxParallel = 64;

  /// Sessions to `server` with `user` and the plain `password`, as the exported functions take them.
  IsilonTreeWalk(const std::string& server, const std::string& user, const std::string& password);
  /// Sessions made by `factory`, for a host that sets them up its own way.
  explicit IsilonTreeWalk(SessionFactory factory);
  /// Must not run while Run() does on another thread.
  ~IsilonTreeWalk();
  IsilonTreeWalk(const IsilonTreeWalk&) = delete;
  IsilonTreeWalk& operator=(const IsilonTreeWalk&) = delete;

  /// Sessions and threads (1 to kMaxParallel, default 8); false and unchanged when out of range.
  bool SetParallel(int sessions);
  /// Entries per listing page (1 to 999999999, default 1000); false and unchanged when out of range.
  bool SetPageSize(int limit);
  /// Directories that may wait in the shared queue (at least 1, default 4096); false and
  /// unchanged for 0.
  bool SetMaxPending(size_t directories);

  /// Sets the page callback (none: pages are counted and dropped).
  void OnPage(PageCallback callback);
  /// Sets the failure callback. Without one the failures are kept for Failures().
  void OnFailure(FailureCallback callback);

  /// Walks `root` and everything below it; the root's own attributes are not read.
  ///
  /// Blocks until all worker threads are done; sessions are closed on return.
  /// @return true when every directory was read to its end and the walk was not stopped.
  /// @throws whatever a callback (page, failure) or the session factory threw: the first such
  ///         exception stops the walk, every worker is joined and every session closed, and
  ///         then it is rethrown here, on the caller's thread. Counts and Failures() then hold
  ///         what was done until then.
  bool Run(const std::string& root);
  /// Ends the walk early: no new page is asked for. Safe from any thread and from a callback.
  void Stop();

  /// True when the last (or current) Run was stopped early: by Stop(), by a page callback's
  /// false or by an exception out of a callback.
  bool Stopped() const;
  /// Failures of the last Run when no failure callback is set (read it after Run returns).
  const std::vector<IsilonTreeWalkFailure>& Failures() const;
  /// Entries handed to the page callback by the last (or current) Run.
  uint64_t Entries() const;
  /// Directories read to their end by the last (or current) Run.
  uint64_t Directories() const;
  /// Directories that failed in the last (or current) Run.
  uint64_t FailedDirectories() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
