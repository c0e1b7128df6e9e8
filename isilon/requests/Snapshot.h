#pragma once
/// @file
/// Snapshots, change lists and the change-list job type.
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

/// One snapshot as the cluster reports it.
struct ISILON_API _IsilonSnapInfo {
  std::string strName;             ///< the snapshot's name, unique in the cluster
  int32_t nId;                     ///< the snapshot's id (low 32 bits)
  std::string strPath;             ///< the directory the snapshot covers
  uint32_t nSize;                  ///< bytes it holds (low 32 bits of the cluster's size)
  std::string strState;            ///< "active", "deleting", ...
  uint32_t nCreated;               ///< creation time, seconds since 1970 (low 32 bits)
  uint32_t nExpires;               ///< not read from replies: always 0
  int32_t nAliasTargetId;          ///< not read from replies: always 0
  std::string strAliasTargetName;  ///< not read from replies: always empty
  bool bHasLocks;                  ///< the snapshot is locked and cannot be deleted yet

  /// An empty record.
  _IsilonSnapInfo() : nId(0), nSize(0), nCreated(0), nExpires(0), nAliasTargetId(0), bHasLocks(false) {}
  _IsilonSnapInfo(const _IsilonSnapInfo&) = default;                 ///< Copies every field.
  _IsilonSnapInfo(_IsilonSnapInfo&&) noexcept = default;             ///< Moves every field.
  _IsilonSnapInfo& operator=(const _IsilonSnapInfo&) = default;      ///< Copies every field.
  _IsilonSnapInfo& operator=(_IsilonSnapInfo&&) noexcept = default;  ///< Moves every field.
};

/// One ChangelistCreate job's state.
struct ISILON_API _IsilonChangeListCreateJobInfo {
  unsigned long long nJobId;  ///< the job's id; 0 when the reply listed no job
  std::string strState;       ///< "running", "paused_...", "succeeded", "failed", ...

  /// No job.
  _IsilonChangeListCreateJobInfo() : nJobId(0) {}
  /// Back to no job.
  void clear() {
    nJobId = 0;
    strState.clear();
  }
};

/// One changed entry ("lin") of a change list.
struct ISILON_API _IsilonChangeListItem {
  unsigned long long nAtime;  ///< access time, seconds since 1970 (the "sec" of "atime")
  unsigned long long nMtime;  ///< modification time, seconds since 1970
  unsigned long long nCtime;  ///< change time, seconds since 1970
  unsigned long long nSize;   ///< size in bytes
  std::string strId;          ///< the entry's id in the change list, as text
  std::string strPath;        ///< the entry's full cluster path
  std::string strType;        ///< the entry's type, as the cluster gives it

  /// An empty record.
  _IsilonChangeListItem() : nAtime(0), nMtime(0), nCtime(0), nSize(0) {}
  /// Back to the empty record.
  void clear() {
    nAtime = nMtime = nCtime = nSize = 0;
    strId.clear();
    strPath.clear();
    strType.clear();
  }
};

/// One page of a change list and the paging state: the token goes into the next request and
/// is replaced by the reply's; empty means first page (sent) or no further page (received).
struct ISILON_API _IsilonChangeListInfo {
  std::list<_IsilonChangeListItem> lstItems;  ///< the page's entries, in reply order
  std::string strResume;                      ///< the paging token (see above)
  int32_t nTotal;                             ///< the reply's "total" (0 when it has none)

  /// The state before the first page.
  _IsilonChangeListInfo() : nTotal(0) {}
  /// Back to the state before the first page.
  void clear() {
    lstItems.clear();
    strResume.clear();
    nTotal = 0;
  }
};

/// Settings of the ChangelistCreate job type.
struct ISILON_API _ChangeListCreateJobInfo {
  bool bAllowMultipleInstances;  ///< several jobs of the type may run at once
  bool bEnabled;                 ///< jobs of the type may run; the only setting that is ever sent
  int32_t nPriority;             ///< the type's priority, 1 (highest) to 10
  std::string strPolicy;         ///< the name of the impact policy its jobs run under

  /// Every setting off or empty.
  _ChangeListCreateJobInfo() : bAllowMultipleInstances(false), bEnabled(false), nPriority(0) {}
};

/// Takes a snapshot of a directory: POST `/platform/1/snapshot/snapshots`.
class ISILON_API IsilonJsonSnapshotCreate : public IsilonJsonBase {
 public:
  IsilonJsonSnapshotCreate();
  /// A snapshot named `name` of the directory `path`.
  void Initialize(const std::string& fileServer, const std::string& path, const std::string& name);
  /// The URI and the JSON body (path and name escaped). @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strName;
  std::string strPath;
};

/// Deletes one snapshot by id (preferred) or by name: DELETE
/// `/platform/1/snapshot/snapshots/<id or name>`.
class ISILON_API IsilonJsonSnapshotDelete : public IsilonJsonBase {
 public:
  IsilonJsonSnapshotDelete();
  /// The snapshot `id` (0: by `name`); `path` is kept for log lines only.
  void Initialize(const std::string& fileServer, const std::string& path, const std::string& name, int id);
  /// The URI (the name percent-encoded); empty when neither id nor name is given. `body` is
  /// emptied. @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strPath;  // kept for the caller's log lines only
  std::string strName;
  int32_t nId;
};

/// One page of the snapshot collection, or one snapshot by name or id: GET
/// `/platform/1/snapshot/snapshots[/<name or id>]`.
class ISILON_API IsilonJsonSnapshotList : public IsilonJsonBase {
 public:
  IsilonJsonSnapshotList();
  /// The snapshot `name` (first choice) or `id` (0: none), or else a page of every snapshot,
  /// oldest first: the first page of `limit` snapshots, or the page of the token `resume`.
  /// `path` is kept for log lines only.
  void Initialize(const std::string& fileServer, const std::string& path, const std::string& name, const int& id,
                  const std::string& resume, const int& limit);
  /// The URI (no body), the name percent-encoded. @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads the page's snapshots and the token of the next page (empty: this was the last).
  /// @return false, with no snapshots and the token unchanged, when the reply is not one
  ///         whole JSON object whose "snapshots" are records of the expected kinds.
  bool ParseResponse(std::string& response) override;
  /// Copies the snapshots read into `out`. @return true
  bool GetSnapsInfo(std::vector<_IsilonSnapInfo>& out);
  /// The token of the next page (empty: this was the last).
  void GetResume(std::string& out);

 private:
  std::string strPath;
  std::string strName;
  int32_t nId;
  std::string resume;  // the token to send, then the one received
  uint64_t nLimit;
  std::vector<_IsilonSnapInfo> vSnaps;
};

/// Starts a ChangelistCreate job for two snapshots: POST `/platform/3/job/jobs`.
class ISILON_API IsilonJsonCreateChangeList : public IsilonJsonBase {
 public:
  IsilonJsonCreateChangeList();
  /// The change list from the snapshot `olderSnapId` to the snapshot `newerSnapId`.
  void Initialize(const std::string& fileServer, const unsigned long long& olderSnapId,
                  const unsigned long long& newerSnapId);
  /// The URI and the JSON body: job type, priority 1, policy "High", duplicates allowed.
  /// @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  using IsilonJsonBase::ParseResponse;
  /// Reads the new job's id into `jobId` (0 when the reply is not one whole JSON object).
  /// @return true
  virtual bool ParseResponse(std::string& response, unsigned long long& jobId);

 private:
  unsigned long long nOlderSnapId;
  unsigned long long nNewerSnapId;
};

/// Reads the state of one job: GET `/platform/3/job/jobs/<id>`.
class ISILON_API IsilonJsonCreateChangeListJobStatus : public IsilonJsonBase {
 public:
  IsilonJsonCreateChangeListJobStatus();
  /// Keeps the file server for BuildRequest.
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  using IsilonJsonBase::ParseResponse;
  /// The URI of the job `jobId` (no body). @return true
  virtual bool BuildRequest(unsigned long long& jobId, std::string& uri);
  /// Reads the first job of the reply's "jobs" into `info` (emptied first; left empty when the
  /// list is empty).
  /// @return false, with `info` unchanged, when the reply is not one whole JSON object whose
  ///         "jobs" are records of the expected kinds.
  virtual bool ParseResponse(const std::string& response, _IsilonChangeListCreateJobInfo& info);
};

/// One page of the change list between two snapshots: GET
/// `/platform/3/snapshot/changelists/<older>_<newer>/lins`.
class ISILON_API IsilonJsonGetChangeList : public IsilonJsonBase {
 public:
  IsilonJsonGetChangeList();
  /// The change list from the snapshot `olderSnapId` to the snapshot `newerSnapId`.
  void Initialize(const std::string& fileServer, const unsigned long long& olderSnapId,
                  const unsigned long long& newerSnapId);
  /// Here the first string is the paging token to send (empty: the first page), sent back as
  /// received, and the second receives the URI. @return true
  bool BuildRequest(std::string& resume, std::string& uri) override;
  /// Reads the page: its entries, the token of the next page and the total.
  /// @return false, with no entries, when the reply is not one whole JSON object whose "lins"
  ///         are complete entries.
  bool ParseResponse(std::string& response) override;
  /// Moves the parsed page into `out` (token, total and items; `out`'s old items are dropped).
  void GetChangeList(_IsilonChangeListInfo& out);

 private:
  _IsilonChangeListInfo info;
  unsigned long long nOlderSnapId;
  unsigned long long nNewerSnapId;
};

/// Reads the settings of the ChangelistCreate job type: GET
/// `/platform/3/job/types/ChangelistCreate`.
class ISILON_API IsilonGetChangeListCreateJobInfo : public IsilonJsonBase {
 public:
  IsilonGetChangeListCreateJobInfo();
  /// Keeps the file server for BuildRequest.
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  using IsilonJsonBase::ParseResponse;
  /// The URI (no body). @return true
  virtual bool BuildRequest(std::string& uri);
  /// Reads the first entry of the reply's "types" into `info` (unchanged when the list is
  /// empty).
  /// @return false when the reply is not one whole JSON object whose "types" are records of
  ///         the expected kinds.
  virtual bool ParseResponse(const std::string& response, _ChangeListCreateJobInfo& info);
};

/// Enables or disables the ChangelistCreate job type: PUT
/// `/platform/3/job/types/ChangelistCreate`.
class ISILON_API IsilonSetChangeListCreateJobInfo : public IsilonJsonBase {
 public:
  IsilonSetChangeListCreateJobInfo();
  /// Keeps the file server for BuildRequest.
  void Initialize(const std::string& fileServer);
  /// Logs the reply; the cluster's success reply is empty. @return true
  bool ParseResponse(std::string& response) override;
  using IsilonJsonBase::BuildRequest;
  /// The URI and the JSON body, which holds `info.bEnabled` only. @return true
  virtual bool BuildRequest(const _ChangeListCreateJobInfo& info, std::string& uri, std::string& body);
};
