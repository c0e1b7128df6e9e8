#pragma once
// The session with one cluster and every operation the host runs on it.
#include <functional>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/QuorLibCurl.h"
#include "host/ZemError.h"
#include "isilon/IsilonJSON.h"
#include "isilon/Paging.h"

using std::string;
using std::vector;

namespace isilon {
class Operation;
}  // namespace isilon

// One authenticated session with one cluster (the "file server"). The session opens on the
// first operation and is reused; one caller thread at a time per object.
//
// Every public operation starts by clearing the last error, so after a call GetLastError
// describes that call only (a delete that returns true with "AEC_NOT_FOUND" found nothing to
// delete; one that returns true with an empty code deleted it).
//
// Sessions that last: when the cluster answers HTTP 401 to a request of an open session (the
// session expired, or the cluster's HTTP service restarted), the session is opened again once
// with the same credentials and that request is sent once more; a listing asks for the same
// page again. HTTP 503 and 429 on any request, and a reset connection or time-out on a GET,
// are retried with exponential back-off and jitter ([NAS] nIsilonRetryCount, default 2;
// nIsilonRetryDelayMs, first delay, default 500; a Retry-After header is honoured up to 60 s).
// A POST, PUT or DELETE that reached the cluster is never repeated, except after 401, 429 or
// 503, which say the cluster did not act on it.
//
// Values that become one segment of a URI path (share, snapshot and policy names and ids) are
// refused with "Internal error" / "Invalid input parameters" when they contain "/" or are "."
// or ".."; namespace paths must begin with "/" and have no "." or ".." segment. Nothing is
// sent for a refused value.
//
// Texts are checked whole: any text argument of an operation (names, paths, zones, ids,
// resume tokens, ACL trustees, NFS clients, property values) that holds a NUL byte is refused
// the same way, since the transport and the cluster would read it cut short and act on
// another object; so are a user or password with a NUL (when the session opens). Control
// bytes other than NUL in names and paths go into URIs percent-encoded. A resume token handed
// back to GetFileList or GetSnapshotChangeList must not hold a blank, a control byte, "#" or
// "&".
class ISILON_API ManageIsilon {
 public:
  ManageIsilon();
  explicit ManageIsilon(const unsigned long long& context);
  ~ManageIsilon();
  ManageIsilon(const ManageIsilon&) = delete;
  ManageIsilon& operator=(const ManageIsilon&) = delete;

  void Init();
  // The cluster's host name, IPv4 address or IPv6 address (with or without brackets); port
  // 8080 is implied, so a scheme, a path, "@", white space or ":port" is refused when the
  // session opens. Changing the server, the user or the password of an open session ends that
  // session first (as CloseConnection does), so no cookie or token of one login is ever sent
  // to another cluster or for another account.
  void SetFileServer(const string& server);
  void SetUser(const string& user);
  string ValidateEscSeq(const string& text);
  void SetPasswd(const string& password);
  bool SetPasswd(const string& password, bool encrypted);
  void GetLastError(string& code, string& message);
  // The transport's cause for the last failed request (connection refused, certificate not
  // trusted, time-out, HTTP status), or empty.
  string GetLastTransportError() const;
  // True when `server` is a bare host name, IPv4 address or IPv6 address (with or without
  // brackets), as SetFileServer wants it.
  static bool IsValidFileServer(const string& server);
  // What the request cycle did on its own over this object's life: requests repeated after a
  // transient failure, sessions opened again after they expired, moves to another node, and
  // requests sent again without a query argument that the cluster refused by name.
  struct RequestCounters {
    unsigned long long retries = 0;
    unsigned long long reopenedSessions = 0;
    unsigned long long nodeSwitches = 0;
    unsigned long long argumentFallbacks = 0;
  };
  RequestCounters GetRequestCounters() const;
  // The node (of sIsilonNodeAddresses, or of the server name's resolution) the next session
  // opens on: `index` modulo the node count; 0, the first, unless set. Sessions of one host
  // spread over the cluster this way; each stays bound to its node as before. Takes effect
  // when a session next opens.
  void SetFirstNode(size_t index);

  // The `method` of SendRequest.
  enum RequestMethod { kGet = 0, kPost = 1, kPut = 2, kDelete = 3 };

  bool OpenConnection();
  bool CloseConnection();
  bool SetCurlHeaders();
  // One request as it is, without retries or re-opening; a URI whose path has a "." or ".."
  // segment, a URI with a NUL, another control byte or a blank, and a body with a NUL are
  // refused (false, "Internal error" / "Invalid input parameters").
  bool SendRequest(string& response, const int& method, const string& uri, const string& body,
                   const bool& resetHeaders);

  // SMB shares and access zones. Share names in DeleteCIFSShare, GetCIFSSharesList,
  // GetFSPathForShare and SetSMBACLs are refused when they contain "/" or are "." or "..".
  bool CreateCIFSShare(const string& name, const string& path, const string& extra, const string& zone);
  bool DeleteCIFSShare(const string& name, const string& path, const string& zone);
  bool GetCIFSSharesList(vector<_IsilonShareInfo>& shares, const string& shareName, const string& path,
                         const string& zone);
  bool GetFSPathForShare(const string& shareName, string& path, _IsilonShareInfo& info, const string& zone);
  CZemError GetAccessZonesList(vector<_IsilonAccessZoneInfo>& zones);
  CZemError GetAllCIFSSharesList(vector<_IsilonShareInfo>& shares);
  bool SetSMBACLs(const _IsilonSMBACLs& acls, const string& shareName, const string& zone);

  // NFS exports
  bool CreateNFSExport(unsigned int& exportId, const vector<string>& paths, const _IsilonNFSPermissions& permissions,
                       const string& extraA, const string& extraB, bool readOnly, bool allDirs);
  bool DeleteNFSExport(const unsigned int& exportId, const string& zone);
  bool GetNFSExportList(vector<_IsilonNFSExportInfo>& exports, const unsigned int& exportId, const string& path,
                        const string& zone);

  // Namespace and cluster information. Paths (listing, attributes, copy source and target)
  // must begin with "/" and have no "." or ".." segment.
  //
  // GetFileList returns one page; the caller calls again with the `resume` it handed back
  // until it comes back empty, and should stop if the cluster hands back a token it gave
  // before (isilon::FollowPages does both). The page is written over the records `files`
  // already holds (passing the same vector page after page saves allocations); a failed
  // call leaves `files` empty.
  bool GetFileList(vector<_IsilonFileInfo>& files, const string& path, string& resume, int limit);
  bool GetPathAttributes(_IsilonFileInfo& info, const string& path);
  bool CopyFileOrDirectory(const string& source, const string& target, bool overwrite);
  bool GetExternalIPs(vector<string>& ips);
  CZemError GetVersionInfo(vector<_IsilonVersionInfo>& nodes);

  // Snapshots and change lists. CreateSnapshot sets `id` to the new snapshot's id from the
  // cluster's reply (0 when the reply has none). DeleteSnapshot refuses a name that contains
  // "/" or is "." or "..".
  bool CreateSnapshot(const string& path, const string& name, int& id);
  bool DeleteSnapshot(const string& path, const string& name, const int& id);
  bool GetSnapshotList(vector<_IsilonSnapInfo>& snaps, const string& path, const string& name);
  CZemError CreateSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId, bool wait);
  // One page of the change list: asks for the page after `info.strResume` and puts the page
  // into `info`, reusing the records it already holds. A failed request leaves `info` as it
  // was; a reply that cannot be read leaves it without records (token and total kept).
  CZemError GetSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId,
                                  _IsilonChangeListInfo& info);
  CZemError GetChangeListJobInfo(_ChangeListCreateJobInfo& info);
  CZemError SetChangeListJobInfo(const _ChangeListCreateJobInfo& info);

  // SyncIQ replication. ModifySyncIQPolicy refuses a policy id that contains "/" or is "."
  // or "..".
  bool GetSyncIQPolicy(vector<_IsilonSyncIQPolicyInfo>& policies, const string& path, const string& policyName);
  // Every policy of the cluster, all pages (an empty list is a success).
  bool GetAllSyncIQPolicies(vector<_IsilonSyncIQPolicyInfo>& policies);
  bool ValidateSyncIQPolicy(const string& policyName, const _IsilonSyncIQPolicyInfo* policy, bool modify);
  bool GetInvalidSyncIQProperties(const _IsilonSyncIQPolicyInfo& policy, vector<_IsilonSyncIQProperty>& invalid);
  bool ModifySyncIQPolicy(const string& policyId, vector<_IsilonSyncIQProperty> properties);
  // Starts a job and polls for its id. When the cluster accepted the start but did not list
  // the job before the retries ran out, the result is false with `jobId` 0 and the last
  // error of the last lookup (usually "No response received from file server."): the job may
  // well be running, so look it up with GetSyncIQJobInfo (state SYNCIQ_JOB_STATE_NONE) before
  // starting another.
  bool StartSyncIQJob(const string& policyName, const string& sourceSnapshot, unsigned int& jobId);
  bool GetSyncIQJobInfo(_IsilonSyncIQJobInfo& job, const string& policyName, const eIsilonSyncIQJobState& state);
  bool GetSyncIQJobReport(_IsilonSyncIQJobReportInfo& report, const unsigned int& jobId, const string& policyName,
                          const eIsilonSyncIQJobState& state);

  /// One poll of a blocking wait, as a wait observer sees it.
  struct WaitProgress {
    /// The job waited for: the change-list job's id, or the SyncIQ job's id (0 while the
    /// cluster lists no job of the policy with an id yet).
    unsigned long long jobId = 0;
    /// The job's state as the cluster gave it in this poll ("running", "paused_user",
    /// "scheduled", ...); empty when the poll found no job.
    string state;
    /// Seconds waited so far in this operation, sleeps included (grows from poll to poll).
    long long secondsWaited = 0;
  };
  /// Called on the caller's thread after each poll the wait goes on from, before it sleeps
  /// again. Returning false ends the wait at once.
  using WaitObserver = std::function<bool(const WaitProgress&)>;
  /// Watches the blocking waits of this object: the wait of CreateSnapshotChangeList(...,
  /// wait = true) for its job, and StartSyncIQJob's poll for the new job. An observer that
  /// returns false cancels the wait: the operation fails with the last error "Internal Error" /
  /// "Wait cancelled by the caller." (CreateSnapshotChangeList returns error number 774 as
  /// well); the job on the cluster is left as it is. An empty observer (the default) watches
  /// nothing, and the waits run as without one. It is not called from any other thread and
  /// must not call this object.
  void SetWaitObserver(WaitObserver observer);

  // The library's operation steps (internal) run their requests through the session's cycle.
  friend class isilon::Operation;

 private:
  friend class IsilonTreeWalk;
  // The last failed operation reached none of the cluster's nodes (connection refused or cut
  // before the request went out, on every node it knows): the tree walk stops on that.
  bool ClusterUnreachable() const { return clusterUnreachable_; }

  // The request cycle every operation shares. Its types are internal to the library
  // (src/session/Cycle.h); none of this is part of what a host links against.
  struct RequestStep;
  struct RequestOutcome;
  using RequestBuilder = std::function<bool(string& uri, string& body)>;
  // Opens the session if needed, builds the request, refuses a URI with dot segments, sends
  // it with the retry policy, re-opens an expired session once, and reads an error reply into
  // the last error.
  ISILON_HIDDEN RequestOutcome RunRequest(const RequestStep& step, IsilonJsonBase& request, const RequestBuilder& build,
                                          string& response);
  // One request as SendRequest sends it, telling how it ended.
  ISILON_HIDDEN bool SendOnce(string& response, int method, const string& uri, const string& body, bool resetHeaders,
                              TransportResult& result);
  // One request through the transport with the retry policy for transient failures.
  ISILON_HIDDEN RequestOutcome Exchange(const RequestStep& step, const string& uri, const string& body,
                                        string& response);
  // A change cut off without a reply, while a retry is still allowed: true when the step's
  // settling ends the request (a read found it done, or could not tell), false when the change
  // is to be sent again.
  ISILON_HIDDEN bool SettledByRead(const RequestStep& step, int repeat, string& response, RequestOutcome& outcome);
  // Drops the session and opens it again (on another node when `anotherNode`), then sends the
  // same request once more.
  ISILON_HIDDEN RequestOutcome ReopenAndRepeat(const RequestStep& step, const string& uri, const string& body,
                                               string& response, bool anotherNode);
  // A connection refused or cut off on the session's node: the session moves to another node.
  ISILON_HIDDEN bool MovesToAnotherNode(const RequestOutcome& outcome, const RequestStep& step) const;
  // Resolves the file server (or reads [NAS] sIsilonNodeAddresses) and binds the new transport
  // to one node, so that every request of the session reaches the node that issued it.
  ISILON_HIDDEN void PinSessionNode();
  // Binds the transport to the next node after the current one; false when there is none.
  ISILON_HIDDEN bool PinNextNode();
  // Follows a listing's resume tokens; a token handed out twice fails the operation.
  ISILON_HIDDEN bool FollowResumePages(const char* function, const isilon::PageReader& read,
                                       isilon::PageWalk* result = nullptr);
  ISILON_HIDDEN bool ListSyncIQPolicies(const char* function,
                                        const std::function<bool(const _IsilonSyncIQPolicyInfo&)>& keep,
                                        vector<_IsilonSyncIQPolicyInfo>& policies);
  // Ends an open session (as CloseConnection does) and forgets its cookies, before the server
  // or the credentials change.
  ISILON_HIDDEN void EndSessionForChange();
  // Marks the session closed and forgets its cookies, without telling the cluster.
  ISILON_HIDDEN void ForgetSession();

  ISILON_HIDDEN void Log(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  ISILON_HIDDEN void LogNoContext(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  ISILON_HIDDEN void SetLastError(const string& code, const string& message);
  // Every public operation starts with it, so the last error always describes the last call.
  ISILON_HIDDEN void ClearLastError();
  // Writes the standard failure line and returns false.
  ISILON_HIDDEN bool LogFailure(const char* function, int line) const;
  // Sets the last error, writes the standard failure line and returns false.
  ISILON_HIDDEN bool Fail(const char* function, int line, const string& code, const string& message);
  // Refused input: "Internal error" / "Invalid input parameters" and the failure line.
  ISILON_HIDDEN bool FailInput(const char* function, int line);

  void TakeSessionCookies(const vector<string>& setCookies, bool logEach);
  // Replacement cookies on an ordinary reply: taken up and installed on the transport.
  void TakeRenewedCookies(const vector<string>& setCookies);
  void ReleaseTransport();

  string strFileServer;
  string strUser;
  string strPassword;
  unsigned long long nLogContext;
  string strLastErrorCode;
  string strLastErrorMessage;
  QuorLibCurl* pTransport;
  bool bConnected;
  string strCookieHeader;
  string strCsrfHeader;
  string strRefererHeader;
  // Counts for GetRequestCounters.
  unsigned long long retriesDone_ = 0;
  unsigned long long sessionsReopened_ = 0;
  unsigned long long nodeSwitches_ = 0;
  unsigned long long argumentFallbacks_ = 0;
  // The cluster's node addresses when the session opened, and the one it is bound to.
  vector<string> nodeAddresses_;
  string sessionNode_;
  string avoidNode_;  // while re-opening after this node failed
  size_t firstNode_ = 0;
  bool clusterUnreachable_ = false;
  WaitObserver waitObserver_;
};

// The exported functions below each construct their own session object, run one operation and
// destroy it. They do not end the session on the cluster (the destructor only releases the
// connection): the cluster ends it after its idle time-out (15 minutes on a real cluster), and
// until then it counts against the cluster's limit of sessions per user. A host that calls
// them often should keep one ManageIsilon instead and call CloseConnection when done.

// Whole create/delete of an SMB share for callers that hold no session object.
ISILON_API bool CreateShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                  const string& password, const string& path, const string& name, string& errorCode,
                                  string& errorMessage);
ISILON_API bool DeleteShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                  const string& password, const string& name, const string& path, string& errorCode,
                                  string& errorMessage);

// Whole create/delete of an NFS export, exported under plain symbol names.
extern "C" {
ISILON_API bool CreateNfsExportIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                      const string& password, const string& extra, const string& path,
                                      const string& client, string& errorCode, string& errorMessage);
ISILON_API bool DeleteNfsExportIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                      const string& password, const string& extra, const string& path,
                                      string& errorCode, string& errorMessage);
}

// Configuration lookups in the [~Tarvex] sections of the registry.
ISILON_API bool MIGetRegInt(const char* instance, const char* key, int* value);
ISILON_API bool MIGetRegStr(const char* instance, const char* key, char* buffer, int size);
