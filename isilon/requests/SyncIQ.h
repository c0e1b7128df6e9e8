#pragma once
/// @file
/// SyncIQ policies, jobs and reports.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

/// State of a SyncIQ job (32-bit, passed by const reference). A fixed underlying type: any
/// value a caller stores is representable (and means no state the library knows).
enum eIsilonSyncIQJobState : int {
  SYNCIQ_JOB_STATE_NONE = 0,       ///< no job, or a state the library does not know
  SYNCIQ_JOB_STATE_RUNNING = 1,    ///< "running"
  SYNCIQ_JOB_STATE_FINISHED = 2,   ///< "finished"
  SYNCIQ_JOB_STATE_FAILED = 3,     ///< "failed" or "needs_attention"
  SYNCIQ_JOB_STATE_CANCELED = 4,   ///< "canceled"
  SYNCIQ_JOB_STATE_SCHEDULED = 5,  ///< "scheduled": accepted, not started yet
  SYNCIQ_JOB_STATE_PAUSED = 6,     ///< "paused"
};

/// One replication policy as the cluster reports it.
struct ISILON_API _IsilonSyncIQPolicyInfo {
  std::string strName;                   ///< the policy's name
  std::string strDescription;            ///< free text; empty when none
  bool bCheckIntegrity;                  ///< the cluster's "check_integrity": data is checked as it is replicated
  bool bConflicted;                      ///< the cluster's "conflicted" flag
  bool bEnabled;                         ///< jobs of the policy may run
  bool bExpectedDataloss;                ///< the cluster's "expected_dataloss" flag
  bool bHasSyncState;                    ///< the cluster's "has_sync_state": a job of the policy has replicated before
  std::string strSchedule;               ///< when it runs; empty: on demand
  std::string strSourceRootPath;         ///< the directory replicated
  std::string strTargetHost;             ///< the cluster replicated to
  std::string strTargetPath;             ///< the directory on the target
  std::string strId;                     ///< the policy's id, which IsilonJsonSyncIQPolicyModify takes
  std::string strAction;                 ///< "copy" or "sync"
  std::string strTargetSnapshotPattern;  ///< name pattern of the snapshots taken on the target
  bool bTargetSnapshotArchive;           ///< a snapshot is taken on the target after each job
  int nTargetSnapshotExpiration;         ///< seconds the target's snapshots are kept (0: never expire)

  /// An empty record.
  _IsilonSyncIQPolicyInfo() { clear(); }
  /// Empties every text and clears every flag and number.
  void clear();
};

/// A policy property that can be changed.
/// A fixed underlying type: any 32-bit value a caller stores is representable (and refused).
enum eIsilonSyncIQPropertyType : int {
  SYNCIQ_PROPERTY_ACTION = 1,                      ///< "action", a text
  SYNCIQ_PROPERTY_SCHEDULE = 2,                    ///< "schedule", a text
  SYNCIQ_PROPERTY_TARGET_SNAPSHOT_ARCHIVE = 3,     ///< "target_snapshot_archive": "true" or "false"
  SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION = 4,  ///< "target_snapshot_expiration": whole seconds
  SYNCIQ_PROPERTY_TARGET_SNAPSHOT_PATTERN = 5,     ///< "target_snapshot_pattern", a text
  SYNCIQ_PROPERTY_ENABLED = 6,                     ///< "enabled": "true" or "false"
};

/// One property to set: its kind and the new value in the form it takes in the body
/// (the text of a string, or a bare JSON literal for the flag and number kinds).
struct ISILON_API _IsilonSyncIQProperty {
  eIsilonSyncIQPropertyType eType;  ///< which property
  std::string strValue;             ///< the new value (see above)

  /// No property: refused by IsilonJsonSyncIQPolicyModify.
  _IsilonSyncIQProperty() : eType(static_cast<eIsilonSyncIQPropertyType>(0)) {}
  /// The property `type` set to `value`.
  _IsilonSyncIQProperty(eIsilonSyncIQPropertyType type, const std::string& value) : eType(type), strValue(value) {}
};

/// One SyncIQ job; nJobId 0 means no job was found.
struct ISILON_API _IsilonSyncIQJobInfo {
  unsigned int nJobId;           ///< the job's id; 0 while the cluster has given it none
  std::string strError;          ///< the job's error text; empty when none
  std::string strState;          ///< the state as the cluster writes it
  eIsilonSyncIQJobState eState;  ///< the state as the library knows it
  std::string strPolicyName;     ///< the job's policy

  /// No job.
  _IsilonSyncIQJobInfo() { clear(); }
  /// Back to no job.
  void clear();
};

/// One job report.
struct ISILON_API _IsilonSyncIQJobReportInfo {
  unsigned int nJobId;                  ///< the job the report is of
  unsigned int nBytesTransferred;       ///< bytes sent (low 32 bits of the cluster's count)
  unsigned int nDirectoriesReplicated;  ///< directories replicated
  unsigned int nDirsDeleted;            ///< directories deleted on the target
  unsigned int nFilesTransferred;       ///< files sent
  unsigned int nNewFilesReplicated;     ///< files new since the last job
  unsigned int nDuration;               ///< the job's run time in seconds
  std::string strError;                 ///< the job's error text; empty when none
  /// Carried for the host's layout of the record; this library never fills it.
  std::vector<std::string> vReservedList1;
  std::string strReserved1;                 ///< never filled, as vReservedList1
  std::vector<std::string> vReservedList2;  ///< never filled, as vReservedList1
  std::string strReserved2;                 ///< never filled, as vReservedList1
  std::string strState;                     ///< the state as the cluster writes it
  /// The first target snapshot that is neither a failover nor the initial one; empty when none.
  std::string strTargetSnapshot;
  /// Finished, failed, canceled or running; NONE for any other state.
  eIsilonSyncIQJobState eState;

  /// An empty report.
  _IsilonSyncIQJobReportInfo() { clear(); }
  /// Back to an empty report.
  void clear();
};

/// Lists the policies one page at a time: GET `/platform/1/sync/policies`.
class ISILON_API IsilonJsonSyncIQPolicy : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQPolicy();
  /// Every policy is listed; `policyName` is kept for the caller's selection.
  void Initialize(const std::string& fileServer, const std::string& policyName);
  /// The URI (no body), with the token of the next page once one was read. @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads the page's policies and the token of the next page (empty: this was the last).
  /// @return false, with no policies and the token unchanged, when the reply is not one whole
  ///         JSON object whose "policies" are records of the expected kinds.
  bool ParseResponse(std::string& response) override;
  /// Copies the policies read into `out`. @return true
  bool GetPolicyInfo(std::vector<_IsilonSyncIQPolicyInfo>& out);
  /// The token of the next page (empty: this was the last).
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  std::string strPolicyName;
  std::string resume;
  std::vector<_IsilonSyncIQPolicyInfo> vPolicies;
};

/// Sets properties of one policy: PUT `/platform/1/sync/policies/<id>`.
class ISILON_API IsilonJsonSyncIQPolicyModify : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQPolicyModify();
  /// The policy `policyId` (its strId) and the properties to set, in order.
  void Initialize(const std::string& fileServer, const std::string& policyId,
                  std::vector<_IsilonSyncIQProperty> properties);
  /// The URI (the id percent-encoded) and the JSON body (texts escaped).
  /// @return false for a property of no known kind, or a flag that is not exactly "true" or
  ///         "false", or an expiration that is not a whole number of at most ten digits.
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strPolicyId;
  std::vector<_IsilonSyncIQProperty> vProperties;
};

/// Starts a job of a policy from a source snapshot: POST `/platform/1/sync/jobs`.
class ISILON_API IsilonJsonSyncIQJob : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQJob();
  /// A job of the policy `policyName` replicating the snapshot `sourceSnapshot`.
  void Initialize(const std::string& fileServer, const std::string& policyName, const std::string& sourceSnapshot);
  /// The URI and the JSON body (texts escaped). @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strPolicyName;
  std::string strSourceSnapshot;
};

/// Finds a policy's current job in the job list: GET `/platform/1/sync/jobs`.
class ISILON_API IsilonJsonSyncIQJobInfo : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQJobInfo();
  /// The jobs of `policyName`, filtered by the cluster by `state` when it is running,
  /// finished or scheduled (any other state: no filter).
  void Initialize(const std::string& fileServer, const std::string& policyName, const eIsilonSyncIQJobState& state);
  /// The URI (no body): the token alone for a following page, else the policy and state.
  /// @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads one page of jobs and the token of the next page.
  /// @return true when a job of the policy that is running, scheduled or paused was found
  ///         (GetJobInfo gives it); false otherwise, also for a reply that is not one whole
  ///         JSON object (and then no next page either).
  bool ParseResponse(std::string& response) override;
  /// Copies the job found into `out` (no job: nJobId 0). @return true
  bool GetJobInfo(_IsilonSyncIQJobInfo& out);
  /// The token of the next page (empty: this was the last).
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  std::string strPolicyName;
  eIsilonSyncIQJobState eState;
  std::string resume;
  _IsilonSyncIQJobInfo job;
};

/// Reads a policy's job reports and selects one by job id or state: GET
/// `/platform/1/sync/reports`.
class ISILON_API IsilonJsonSyncIQJobReport : public IsilonJsonBase {
 public:
  IsilonJsonSyncIQJobReport();
  /// The reports of `policyName`: the one of the job `jobId`, or, when `state` is running or
  /// finished, the first report in that state (filtered by the cluster).
  void Initialize(const std::string& fileServer, const std::string& policyName, const unsigned int& jobId,
                  const eIsilonSyncIQJobState& state);
  /// The URI (no body): the token alone for a following page, else the policy and state.
  /// @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads one page of reports and the token of the next page.
  /// @return true when a report was selected (GetJobReportInfo gives it); false otherwise,
  ///         also for a reply that is not one whole JSON object (and then no next page).
  bool ParseResponse(std::string& response) override;
  /// Copies the report selected into `out`. @return true
  bool GetJobReportInfo(_IsilonSyncIQJobReportInfo& out);
  /// The token of the next page (empty: this was the last).
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
