#pragma once
// SyncIQ policies, jobs and reports.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// State of a SyncIQ job (32-bit, passed by const reference). A fixed underlying type: any
// value a caller stores is representable (and means no state the library knows).
enum eIsilonSyncIQJobState : int {
  SYNCIQ_JOB_STATE_NONE = 0,
  SYNCIQ_JOB_STATE_RUNNING = 1,
  SYNCIQ_JOB_STATE_FINISHED = 2,
  SYNCIQ_JOB_STATE_FAILED = 3,
  SYNCIQ_JOB_STATE_CANCELED = 4,
  SYNCIQ_JOB_STATE_SCHEDULED = 5,
  SYNCIQ_JOB_STATE_PAUSED = 6,
};

// One replication policy as the cluster reports it.
struct ISILON_API _IsilonSyncIQPolicyInfo {
  std::string strName;
  std::string strDescription;
  bool bCheckIntegrity;
  bool bConflicted;
  bool bEnabled;
  bool bExpectedDataloss;
  bool bHasSyncState;
  std::string strSchedule;  // empty: run on demand
  std::string strSourceRootPath;
  std::string strTargetHost;
  std::string strTargetPath;
  std::string strId;
  std::string strAction;
  std::string strTargetSnapshotPattern;
  bool bTargetSnapshotArchive;
  int nTargetSnapshotExpiration;

  _IsilonSyncIQPolicyInfo() { clear(); }
  void clear();
};

// A policy property that can be changed.
// A fixed underlying type: any 32-bit value a caller stores is representable (and refused).
enum eIsilonSyncIQPropertyType : int {
  SYNCIQ_PROPERTY_ACTION = 1,
  SYNCIQ_PROPERTY_SCHEDULE = 2,
  SYNCIQ_PROPERTY_TARGET_SNAPSHOT_ARCHIVE = 3,
  SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION = 4,
  SYNCIQ_PROPERTY_TARGET_SNAPSHOT_PATTERN = 5,
  SYNCIQ_PROPERTY_ENABLED = 6,
};

// One property to set: its kind and the new value in the form it takes in the body
// (the text of a string, or a bare JSON literal for the flag and number kinds).
struct ISILON_API _IsilonSyncIQProperty {
  eIsilonSyncIQPropertyType eType;
  std::string strValue;

  _IsilonSyncIQProperty() : eType(static_cast<eIsilonSyncIQPropertyType>(0)) {}
  _IsilonSyncIQProperty(eIsilonSyncIQPropertyType type, const std::string& value) : eType(type), strValue(value) {}
};

// One SyncIQ job; nJobId 0 means no job was found.
struct ISILON_API _IsilonSyncIQJobInfo {
  unsigned int nJobId;
  std::string strError;
  std::string strState;
  eIsilonSyncIQJobState eState;
  std::string strPolicyName;

  _IsilonSyncIQJobInfo() { clear(); }
  void clear();
};

// One job report.
struct ISILON_API _IsilonSyncIQJobReportInfo {
  unsigned int nJobId;
  unsigned int nBytesTransferred;  // low 32 bits of the cluster's count
  unsigned int nDirectoriesReplicated;
  unsigned int nDirsDeleted;
  unsigned int nFilesTransferred;
  unsigned int nNewFilesReplicated;
  unsigned int nDuration;
  std::string strError;
  // Carried for the host's layout of the record; this library never fills them.
  std::vector<std::string> vReservedList1;
  std::string strReserved1;
  std::vector<std::string> vReservedList2;
  std::string strReserved2;
  std::string strState;
  std::string strTargetSnapshot;
  eIsilonSyncIQJobState eState;

  _IsilonSyncIQJobReportInfo() { clear(); }
  void clear();
};

// Lists the policies one page at a time.
class ISILON_API IsilonJsonSyncIQPolicy : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQPolicy();
  void Initialize(const std::string& fileServer, const std::string& policyName);
  bool BuildRequest(std::string& uri, std::string& body) override;
  bool ParseResponse(std::string& response) override;
  bool GetPolicyInfo(std::vector<_IsilonSyncIQPolicyInfo>& out);
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  std::string strPolicyName;
  std::string resume;
  std::vector<_IsilonSyncIQPolicyInfo> vPolicies;
};

// Sets properties of one policy (PUT).
class ISILON_API IsilonJsonSyncIQPolicyModify : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQPolicyModify();
  void Initialize(const std::string& fileServer, const std::string& policyId,
                  std::vector<_IsilonSyncIQProperty> properties);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strPolicyId;
  std::vector<_IsilonSyncIQProperty> vProperties;
};

// Starts a job of a policy from a source snapshot (POST).
class ISILON_API IsilonJsonSyncIQJob : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQJob();
  void Initialize(const std::string& fileServer, const std::string& policyName, const std::string& sourceSnapshot);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strPolicyName;
  std::string strSourceSnapshot;
};

// Finds a policy's current job in the job list.
class ISILON_API IsilonJsonSyncIQJobInfo : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQJobInfo();
  void Initialize(const std::string& fileServer, const std::string& policyName, const eIsilonSyncIQJobState& state);
  bool BuildRequest(std::string& uri, std::string& body) override;
  // True when a job of the policy that is running, scheduled or paused was found.
  bool ParseResponse(std::string& response) override;
  bool GetJobInfo(_IsilonSyncIQJobInfo& out);
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  std::string strPolicyName;
  eIsilonSyncIQJobState eState;
  std::string resume;
  _IsilonSyncIQJobInfo job;
};

// Reads a policy's job reports and selects one by job id or state.
class ISILON_API IsilonJsonSyncIQJobReport : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQJobReport();
  void Initialize(const std::string& fileServer, const std::string& policyName, const unsigned int& jobId,
                  const eIsilonSyncIQJobState& state);
  bool BuildRequest(std::string& uri, std::string& body) override;
  // True when a report was selected.
  bool ParseResponse(std::string& response) override;
  bool GetJobReportInfo(_IsilonSyncIQJobReportInfo& out);
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  std::string strPolicyName;
  eIsilonSyncIQJobState eState;
  std::string resume;
  _IsilonSyncIQJobReportInfo report;
  unsigned int nJobId;
};
