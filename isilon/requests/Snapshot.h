#pragma once
// Snapshots, change lists and the change-list job type.
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// One snapshot as the cluster reports it.
struct ISILON_API _IsilonSnapInfo {
  std::string strName;
  int32_t nId;
  std::string strPath;  // the directory the snapshot covers
  uint32_t nSize;       // low 32 bits of the cluster's size
  std::string strState;
  uint32_t nCreated;               // low 32 bits of the cluster's creation time
  uint32_t nExpires;               // not read from replies: always 0
  int32_t nAliasTargetId;          // not read from replies: always 0
  std::string strAliasTargetName;  // not read from replies: always empty
  bool bHasLocks;

  _IsilonSnapInfo() : nId(0), nSize(0), nCreated(0), nExpires(0), nAliasTargetId(0), bHasLocks(false) {}
  _IsilonSnapInfo(const _IsilonSnapInfo&) = default;
  _IsilonSnapInfo(_IsilonSnapInfo&&) noexcept = default;
  _IsilonSnapInfo& operator=(const _IsilonSnapInfo&) = default;
  _IsilonSnapInfo& operator=(_IsilonSnapInfo&&) noexcept = default;
};

// One ChangelistCreate job's state.
struct ISILON_API _IsilonChangeListCreateJobInfo {
  unsigned long long nJobId;
  std::string strState;  // "running", "paused_...", "succeeded", "failed", ...

  _IsilonChangeListCreateJobInfo() : nJobId(0) {}
  void clear() {
    nJobId = 0;
    strState.clear();
  }
};

// One changed entry ("lin") of a change list.
struct ISILON_API _IsilonChangeListItem {
  unsigned long long nAtime;
  unsigned long long nMtime;
  unsigned long long nCtime;
  unsigned long long nSize;
  std::string strId;
  std::string strPath;
  std::string strType;

  _IsilonChangeListItem() : nAtime(0), nMtime(0), nCtime(0), nSize(0) {}
  void clear() {
    nAtime = nMtime = nCtime = nSize = 0;
    strId.clear();
    strPath.clear();
    strType.clear();
  }
};

// One page of a change list and the paging state: the token goes into the next request and is
// replaced by the reply's; empty means first page (sent) or no further page (received).
struct ISILON_API _IsilonChangeListInfo {
  std::list<_IsilonChangeListItem> lstItems;
  std::string strResume;
  int32_t nTotal;

  _IsilonChangeListInfo() : nTotal(0) {}
  void clear() {
    lstItems.clear();
    strResume.clear();
    nTotal = 0;
  }
};

// Settings of the ChangelistCreate job type.
struct ISILON_API _ChangeListCreateJobInfo {
  bool bAllowMultipleInstances;
  bool bEnabled;  // the only setting that is ever sent
  int32_t nPriority;
  std::string strPolicy;

  _ChangeListCreateJobInfo() : bAllowMultipleInstances(false), bEnabled(false), nPriority(0) {}
};

// Takes a snapshot of a directory.
class ISILON_API IsilonJsonSnapshotCreate : public IsilonJsonBase {
 public:
  IsilonJsonSnapshotCreate();
  void Initialize(const std::string& fileServer, const std::string& path, const std::string& name);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strName;
  std::string strPath;
};

// Deletes one snapshot by id (preferred) or by name.
class ISILON_API IsilonJsonSnapshotDelete : public IsilonJsonBase {
 public:
  IsilonJsonSnapshotDelete();
  void Initialize(const std::string& fileServer, const std::string& path, const std::string& name, int id);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strPath;  // kept for the caller's log lines only
  std::string strName;
  int32_t nId;
};

// One page of the snapshot collection, or one snapshot by name or id.
class ISILON_API IsilonJsonSnapshotList : public IsilonJsonBase {
 public:
  IsilonJsonSnapshotList();
  void Initialize(const std::string& fileServer, const std::string& path, const std::string& name, const int& id,
                  const std::string& resume, const int& limit);
  bool BuildRequest(std::string& uri, std::string& body) override;
  bool ParseResponse(std::string& response) override;
  bool GetSnapsInfo(std::vector<_IsilonSnapInfo>& out);
  void GetResume(std::string& out);

 private:
  std::string strPath;
  std::string strName;
  int32_t nId;
  std::string resume;  // the token to send, then the one received
  uint64_t nLimit;
  std::vector<_IsilonSnapInfo> vSnaps;
};

// Starts a ChangelistCreate job for two snapshots.
class ISILON_API IsilonJsonCreateChangeList : public IsilonJsonBase {
 public:
  IsilonJsonCreateChangeList();
  void Initialize(const std::string& fileServer, const unsigned long long& olderSnapId,
                  const unsigned long long& newerSnapId);
  bool BuildRequest(std::string& uri, std::string& body) override;
  using IsilonJsonBase::ParseResponse;
  // The new job's id (0 when the reply has none).
  virtual bool ParseResponse(std::string& response, unsigned long long& jobId);

 private:
  unsigned long long nOlderSnapId;
  unsigned long long nNewerSnapId;
};

// Reads the state of one job.
class ISILON_API IsilonJsonCreateChangeListJobStatus : public IsilonJsonBase {
 public:
  IsilonJsonCreateChangeListJobStatus();
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  using IsilonJsonBase::ParseResponse;
  virtual bool BuildRequest(unsigned long long& jobId, std::string& uri);
  virtual bool ParseResponse(const std::string& response, _IsilonChangeListCreateJobInfo& info);
};

// One page of the change list between two snapshots.
class ISILON_API IsilonJsonGetChangeList : public IsilonJsonBase {
 public:
  IsilonJsonGetChangeList();
  void Initialize(const std::string& fileServer, const unsigned long long& olderSnapId,
                  const unsigned long long& newerSnapId);
  // Here the first string is the paging token to send and the second receives the URI.
  bool BuildRequest(std::string& resume, std::string& uri) override;
  bool ParseResponse(std::string& response) override;
  // Moves the parsed page into `out` (token, total and items).
  void GetChangeList(_IsilonChangeListInfo& out);

 private:
  _IsilonChangeListInfo info;
  unsigned long long nOlderSnapId;
  unsigned long long nNewerSnapId;
};

// Reads the settings of the ChangelistCreate job type.
class ISILON_API IsilonGetChangeListCreateJobInfo : public IsilonJsonBase {
 public:
  IsilonGetChangeListCreateJobInfo();
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  using IsilonJsonBase::ParseResponse;
  virtual bool BuildRequest(std::string& uri);
  virtual bool ParseResponse(const std::string& response, _ChangeListCreateJobInfo& info);
};

// Enables or disables the ChangelistCreate job type.
class ISILON_API IsilonSetChangeListCreateJobInfo : public IsilonJsonBase {
 public:
  IsilonSetChangeListCreateJobInfo();
  void Initialize(const std::string& fileServer);
  bool ParseResponse(std::string& response) override;
  using IsilonJsonBase::BuildRequest;
  virtual bool BuildRequest(const _ChangeListCreateJobInfo& info, std::string& uri, std::string& body);
};
