// The parallel tree walk: a bounded queue of directories shared by N workers, each with its
// own session; a worker whose subdirectories do not fit in the queue reads them depth first.
#include "isilon/IsilonTreeWalk.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "isilon/Paging.h"
#include "src/common/InputChecks.h"
#include "src/transport/TlsSessions.h"

namespace {
const int kDefaultParallel = 8;
const int kDefaultPageSize = 1000;
const int kMaxPageSize = 999999999;
const size_t kDefaultMaxPending = 4096;
// A string, so that the compare of every entry's type tests the length first and inlines.
const std::string kContainer = "container";

// "/ifs/data//" -> "/ifs/data": entries' paths are the directory, "/" and the name.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}
}  // namespace

struct IsilonTreeWalk::State {
  SessionFactory factory;
  // One per run: a node's first handshake is resumed by the walk's other sessions there.
  std::shared_ptr<isilon::TlsSessionCache> tlsSessions;
  int parallel = kDefaultParallel;
  int pageSize = kDefaultPageSize;
  size_t maxPending = kDefaultMaxPending;
  PageCallback onPage;
  FailureCallback onFailure;

  // The shared queue and the count of workers holding a directory; the walk is over when
  // both are empty.
  std::mutex queueMutex;
  std::condition_variable queueChanged;
  std::deque<std::string> pending;
  int busy = 0;
  // Workers that have a session or have not asked for one yet: one whose factory call gives
  // none hands its directory back to them.
  int able = 0;

  // Serialises the callbacks and guards `failures`.
  std::mutex callbackMutex;
  std::vector<IsilonTreeWalkFailure> failures;

  std::atomic<bool> stopped{false};
  std::atomic<bool> incomplete{false};
  std::atomic<uint64_t> entries{0};
  std::atomic<uint64_t> directories{0};
  std::atomic<uint64_t> failed{0};

  // Workers holding a directory whose session's last request reached none of the cluster's
  // nodes; they wait for another session to reach it (each success bumps `reachEpoch`). When
  // they are all the busy workers, the cluster is gone and the walk ends.
  int stalled = 0;
  uint64_t reachEpoch = 0;

  // The first exception out of a callback or the session factory, for Run to rethrow.
  std::mutex errorMutex;
  std::exception_ptr error;

  // Worker `index` opens its session on node `index` of the cluster, so that the walk's
  // sessions spread round-robin over the nodes.
  void Worker(size_t index);
  void Work(size_t index);
  // `stack` and `page` are the worker's own, kept from one directory to the next so that their
  // storage (a page's records and their strings) is reused rather than made again.
  struct Frame;
  void WalkFrom(ManageIsilon* session, const std::string& start, std::vector<Frame>& stack,
                std::vector<_IsilonFileInfo>& page);
  bool Deliver(const std::string& directory, std::vector<_IsilonFileInfo>& page);
  void Report(const std::string& directory, ManageIsilon* session, const std::string& code, const std::string& message);
  // Reports and takes out of the page every entry whose name names no child of `directory`,
  // and adds the paths of the others that are directories to `subdirs`, in page order: one
  // pass over the page.
  void SortPage(const std::string& directory, std::vector<_IsilonFileInfo>& page, std::vector<std::string>& subdirs);
  // After a listing that reached no node: waits until another session reaches the cluster
  // (kBack: ask again), the walk is stopped (kStopped), or no busy session reaches it (kGone:
  // this worker ends the walk).
  enum class Cluster { kBack, kStopped, kGone };
  Cluster AwaitCluster();
  void NoteReached();
  // Queues what fits of `dirs` (from the back); true when all went.
  bool Offer(std::vector<std::string>& dirs);
  void StopAll();
};

// One directory a worker is reading: its next page's token and the subdirectories of the page
// it read last that are still to be walked.
struct IsilonTreeWalk::State::Frame {
  explicit Frame(std::string p) : path(std::move(p)) {}
  std::string path;
  std::string resume;
  bool done = false;
  isilon::ResumeTracker tokens;
  std::vector<std::string> subdirs;
};

bool IsilonTreeWalk::State::Offer(std::vector<std::string>& dirs) {
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    while (!dirs.empty() && pending.size() < maxPending) {
      pending.push_back(std::move(dirs.back()));
      dirs.pop_back();
      queued = true;
    }
  }
  if (queued) queueChanged.notify_all();
  return dirs.empty();
}

void IsilonTreeWalk::State::StopAll() {
  stopped = true;
  {
    // Under the lock so that a worker about to wait sees the flag.
    std::lock_guard<std::mutex> lock(queueMutex);
  }
  queueChanged.notify_all();
}

bool IsilonTreeWalk::State::Deliver(const std::string& directory, std::vector<_IsilonFileInfo>& page) {
  std::lock_guard<std::mutex> lock(callbackMutex);
  if (stopped) return false;
  entries += page.size();
  bool more = true;
  try {
    more = !onPage || onPage(directory, page);
  } catch (...) {
    // Stopped before the lock is let go: no other page is handed over after this one.
    incomplete = true;
    StopAll();
    throw;
  }
  if (!more) {
    incomplete = true;
    StopAll();
    return false;
  }
  return true;
}

void IsilonTreeWalk::State::Report(const std::string& directory, ManageIsilon* session, const std::string& code,
                                   const std::string& message) {
  IsilonTreeWalkFailure failure;
  failure.strPath = directory;
  failure.strCode = code;
  failure.strMessage = message;
  if (session != nullptr) {
    session->GetLastError(failure.strCode, failure.strMessage);
    failure.strCause = session->GetLastTransportError();
  }
  incomplete = true;
  ++failed;
  std::lock_guard<std::mutex> lock(callbackMutex);
  if (onFailure) {
    try {
      onFailure(failure);
    } catch (...) {
      StopAll();
      throw;
    }
  } else {
    failures.push_back(std::move(failure));
  }
}

void IsilonTreeWalk::State::SortPage(const std::string& directory, std::vector<_IsilonFileInfo>& page,
                                     std::vector<std::string>& subdirs) {
  // An entry's path is the directory's, "/" and its name: a name that is empty, "." or "..",
  // or holds a "/" or a NUL, would have the walk read another directory (or the same one
  // again, without end), and hands the caller a path that is not the entry's.
  size_t kept = 0;
  for (size_t i = 0; i < page.size(); ++i) {
    if (!isilon::IsChildName(page[i].strName)) {
      Report(directory, nullptr, "Internal Error",
             "The file server listed an entry named [" + isilon::Printable(page[i].strName) +
                 "], which names no entry of the directory; it is not followed.");
      continue;
    }
    if (page[i].strType == kContainer) subdirs.push_back(page[i].strPath);
    if (kept != i) std::swap(page[kept], page[i]);
    ++kept;
  }
  page.resize(kept);
}

IsilonTreeWalk::State::Cluster IsilonTreeWalk::State::AwaitCluster() {
  std::unique_lock<std::mutex> lock(queueMutex);
  ++stalled;
  const uint64_t epoch = reachEpoch;
  queueChanged.notify_all();  // the others may all be stalled now
  queueChanged.wait(lock, [&] { return stopped || reachEpoch != epoch || stalled >= busy; });
  --stalled;
  if (reachEpoch != epoch) return Cluster::kBack;
  if (stopped) return Cluster::kStopped;
  // Stopped here, under the lock that hands out directories: between this and the report, no
  // other worker may take up one more, each a connection time-out of its own.
  stopped = true;
  return Cluster::kGone;
}

void IsilonTreeWalk::State::NoteReached() {
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (stalled == 0) return;
    ++reachEpoch;
  }
  queueChanged.notify_all();
}

void IsilonTreeWalk::State::WalkFrom(ManageIsilon* session, const std::string& start, std::vector<Frame>& stack,
                                     std::vector<_IsilonFileInfo>& page) {
  stack.clear();
  stack.emplace_back(start);
  while (!stack.empty() && !stopped) {
    Frame& top = stack.back();
    if (!top.subdirs.empty()) {
      // Subdirectories go to the other workers while the queue has room; the rest are read
      // here, depth first, which is what keeps the queue bounded.
      if (!Offer(top.subdirs)) {
        std::string next = std::move(top.subdirs.back());
        top.subdirs.pop_back();
        stack.emplace_back(std::move(next));
      }
      continue;
    }
    if (top.done) {
      stack.pop_back();
      continue;
    }
    if (!session->GetFileList(page, top.path, top.resume, pageSize)) {
      if (session->ClusterUnreachable()) {
        const Cluster cluster = AwaitCluster();
        if (cluster == Cluster::kBack) continue;  // the same page again
        if (cluster == Cluster::kStopped) return;
        // No node answers any session: every other directory would fail the same way.
        incomplete = true;
        StopAll();
        Report(top.path, session, std::string(), std::string());
        return;
      }
      Report(top.path, session, std::string(), std::string());
      stack.pop_back();
      continue;
    }
    NoteReached();
    if (top.tokens.Repeats(top.resume)) {
      Report(top.path, nullptr, isilon::RepeatedResumeCode(), isilon::RepeatedResumeMessage(top.resume));
      top.done = true;
    } else if (top.resume.empty()) {
      top.done = true;
      ++directories;
    }
    SortPage(top.path, page, top.subdirs);
    // Walked from the back: keep name order.
    std::reverse(top.subdirs.begin(), top.subdirs.end());
    if (!Deliver(top.path, page)) return;
  }
}

void IsilonTreeWalk::State::Worker(size_t index) {
  try {
    Work(index);
  } catch (...) {
    // A callback (or the factory) threw: the walk stops, and Run rethrows this on its caller's
    // thread once every worker is done.
    {
      std::lock_guard<std::mutex> lock(errorMutex);
      if (!error) error = std::current_exception();
    }
    incomplete = true;
    StopAll();
  }
}

void IsilonTreeWalk::State::Work(size_t index) {
  std::unique_ptr<ManageIsilon> session;
  bool sessionFailed = false;
  // However the worker ends, its session is closed and its directory no longer counts as busy.
  struct Leave {
    State& state;
    std::unique_ptr<ManageIsilon>& session;
    bool holding = false;
    ~Leave() {
      if (holding) {
        {
          std::lock_guard<std::mutex> lock(state.queueMutex);
          --state.busy;
        }
        state.queueChanged.notify_all();
      }
      if (session) session->CloseConnection();
    }
  } leave{*this, session};
  std::vector<Frame> stack;
  std::vector<_IsilonFileInfo> page;
  for (;;) {
    std::string directory;
    {
      std::unique_lock<std::mutex> lock(queueMutex);
      queueChanged.wait(lock, [this] { return stopped || !pending.empty() || busy == 0; });
      if (stopped || pending.empty()) break;
      directory = std::move(pending.front());
      pending.pop_front();
      ++busy;
      leave.holding = true;
    }
    if (!session && !sessionFailed) {
      session = factory ? factory() : nullptr;
      sessionFailed = !session;
      if (session) {
        session->SetFirstNode(index);
        session->ShareTlsSessions(tlsSessions);
      } else {
        // Without a session this worker would only report every directory it takes as failed,
        // those the others could read: it leaves them its directory, unless none is left.
        std::lock_guard<std::mutex> lock(queueMutex);
        if (--able > 0) {
          pending.push_front(std::move(directory));
          return;  // `leave` lets the directory go, and wakes the others
        }
      }
    }
    if (session) {
      WalkFrom(session.get(), directory, stack, page);
    } else {
      Report(directory, nullptr, "Internal Error", "No session could be made for the walk.");
    }
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      --busy;
      leave.holding = false;
    }
    queueChanged.notify_all();
  }
}

IsilonTreeWalk::IsilonTreeWalk(const std::string& server, const std::string& user, const std::string& password)
    : IsilonTreeWalk(SessionFactory([server, user, password]() {
        std::unique_ptr<ManageIsilon> session(new ManageIsilon());
        session->SetFileServer(server);
        session->SetUser(user);
        session->SetPasswd(password);
        return session;
      })) {}

IsilonTreeWalk::IsilonTreeWalk(SessionFactory factory) : state_(new State()) { state_->factory = std::move(factory); }

IsilonTreeWalk::~IsilonTreeWalk() = default;

bool IsilonTreeWalk::SetParallel(int sessions) {
  if (sessions < 1 || sessions > kMaxParallel) return false;
  state_->parallel = sessions;
  return true;
}

bool IsilonTreeWalk::SetPageSize(int limit) {
  if (limit < 1 || limit > kMaxPageSize) return false;
  state_->pageSize = limit;
  return true;
}

bool IsilonTreeWalk::SetMaxPending(size_t directories) {
  if (directories < 1) return false;
  state_->maxPending = directories;
  return true;
}

void IsilonTreeWalk::OnPage(PageCallback callback) { state_->onPage = std::move(callback); }

void IsilonTreeWalk::OnFailure(FailureCallback callback) { state_->onFailure = std::move(callback); }

bool IsilonTreeWalk::Run(const std::string& root) {
  State& s = *state_;
  s.stopped = false;
  s.incomplete = false;
  s.entries = 0;
  s.directories = 0;
  s.failed = 0;
  s.failures.clear();
  s.pending.clear();
  s.busy = 0;
  s.able = s.parallel;
  s.stalled = 0;
  s.error = nullptr;
  s.tlsSessions = isilon::TlsSessionCache::Make();
  s.pending.push_back(WithoutTrailingSlashes(root));

  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(s.parallel));
  for (int i = 1; i < s.parallel; ++i) workers.emplace_back([&s, i] { s.Worker(static_cast<size_t>(i)); });
  s.Worker(0);
  for (std::thread& t : workers) t.join();
  s.tlsSessions.reset();  // its keys are kept no longer than the walk
  if (s.error) std::rethrow_exception(s.error);
  return !s.incomplete && !s.stopped;
}

void IsilonTreeWalk::Stop() {
  state_->incomplete = true;
  state_->StopAll();
}

bool IsilonTreeWalk::Stopped() const { return state_->stopped; }

const std::vector<IsilonTreeWalkFailure>& IsilonTreeWalk::Failures() const { return state_->failures; }

uint64_t IsilonTreeWalk::Entries() const { return state_->entries; }

uint64_t IsilonTreeWalk::Directories() const { return state_->directories; }

uint64_t IsilonTreeWalk::FailedDirectories() const { return state_->failed; }
