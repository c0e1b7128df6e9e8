#pragma once
// The session with one cluster and every operation the host runs on it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/QuorLibCurl.h"
#include "host/ZemError.h"
#include "isilon/IsilonJSON.h"
#include "isilon/Paging.h"
#include "isilon/SessionOptions.h"

namespace isilon {
struct RequestStep;
struct RequestOutcome;
struct Settings;
class Operation;
class TlsSessionCache;
}  // namespace isilon

using std::string;
using std::vector;

/// One authenticated session with one cluster (the "file server") and every operation the host
/// runs on it.
///
/// The session opens on the first operation and is reused: the session cookie and the CSRF
/// token go with every request. CloseConnection() ends it on the cluster; the destructor only
/// releases the connection. A session opened again resumes the object's last TLS session with
/// that node when its TLS settings are the same. Every operation blocks the calling thread
/// until its requests are done (each bounded by the transport's time-outs); an object is used
/// by one thread at a time, and separate objects are independent sessions that may run on
/// separate threads.
///
/// **Results.** A `true` (or a CZemError that is not an error) means the whole result was read.
/// On failure GetLastError() gives a non-empty code and message: the cluster's own (such as
/// "AEC_NOT_FOUND") when it answered with an error reply, else the library's ("Internal error" /
/// "Invalid input parameters" for refused input, "Internal Error" for a reply that could not be
/// read); GetLastTransportError() gives the transport's cause when the connection failed. Every
/// public operation starts by clearing the last error, so after a call GetLastError() describes
/// that call only (a delete that returns true with "AEC_NOT_FOUND" found nothing to delete; one
/// that returns true with an empty code deleted it).
///
/// **Sessions that last.** When the cluster answers HTTP 401 to a request of an open session (the
/// session expired, or the cluster's HTTP service restarted), the session is opened again once
/// with the same credentials and that request is sent once more; a listing asks for the same
/// page again. HTTP 503 and 429 on any request, and a reset connection or time-out on a GET,
/// are retried with exponential back-off and jitter ([NAS] nIsilonRetryCount, default 2;
/// nIsilonRetryDelayMs, first delay, default 500; a Retry-After header is honoured up to 60 s).
/// A POST, PUT or DELETE that reached the cluster is never repeated, except after 401, 429 or
/// 503, which say the cluster did not act on it.
///
/// **Input.** Values that become one segment of a URI path (share, snapshot and policy names and
/// ids) are refused with "Internal error" / "Invalid input parameters" when they contain "/" or
/// are "." or ".."; namespace paths must begin with "/" and have no "." or ".." segment. Nothing
/// is sent for a refused value. Texts are checked whole: any text argument of an operation
/// (names, paths, zones, ids, resume tokens, ACL trustees, NFS clients, property values) that
/// holds a NUL byte is refused the same way, since the transport and the cluster would read it
/// cut short and act on another object; so are a user or password with a NUL (when the session
/// opens). Control bytes other than NUL in names and paths go into URIs percent-encoded. A
/// resume token handed back to GetFileList or GetSnapshotChangeList must not hold a blank, a
/// control byte, "#" or "&".
class ISILON_API ManageIsilon {
 public:
  /// A closed session with every text empty and log context 0.
  ManageIsilon();
  /// A closed session whose log lines carry `context` (the host's own tag, such as a job id).
  explicit ManageIsilon(const unsigned long long& context);
  /// Releases the connection; does not end the session on the cluster (see CloseConnection()).
  ~ManageIsilon();
  ManageIsilon(const ManageIsilon&) = delete;
  ManageIsilon& operator=(const ManageIsilon&) = delete;

  /// Empties the server, the credentials and the last error and sets the log context to 0,
  /// without releasing a transport; meant for a freshly constructed object only.
  void Init();
  /// The cluster's host name, IPv4 address or IPv6 address (with or without brackets); port
  /// 8080 is implied, so a scheme, a path, "@", white space or ":port" is refused when the
  /// session opens. Changing the server, the user or the password of an open session ends that
  /// session first (as CloseConnection does), so no cookie or token of one login is ever sent
  /// to another cluster or for another account.
  void SetFileServer(const string& server);
  /// The user to log in as; a domain user as "DOMAIN\\user" (one backslash in the text). Its
  /// backslashes are doubled for the session request (see ValidateEscSeq()).
  void SetUser(const string& user);
  /// `text` with every backslash written as two, a backslash pair staying a pair.
  string ValidateEscSeq(const string& text);
  /// The password, in clear.
  void SetPasswd(const string& password);
  /// The password, enciphered when `encrypted` (deciphered with QuorPassword::decrypt and the
  /// key file of [NAS] sIsilonKeyFile). Returns false when it cannot be deciphered; the
  /// session then fails to open.
  bool SetPasswd(const string& password, bool encrypted);
  /// The code and message of the last failure; both empty after a success.
  void GetLastError(string& code, string& message);
  /// The transport's cause for the last failed request (connection refused, certificate not
  /// trusted, time-out, HTTP status), or empty.
  string GetLastTransportError() const;
  /// True when `server` is a bare host name, IPv4 address or IPv6 address (with or without
  /// brackets), as SetFileServer wants it.
  static bool IsValidFileServer(const string& server);
  /// What the request cycle did on its own over this object's life: requests repeated after a
  /// transient failure, sessions opened again after they expired, moves to another node, and
  /// requests sent again without a query argument that the cluster refused by name.
  struct RequestCounters {
    unsigned long long retries = 0;            ///< requests sent again after a transient failure
    unsigned long long reopenedSessions = 0;   ///< sessions opened again after HTTP 401
    unsigned long long nodeSwitches = 0;       ///< moves of the session to another node
    unsigned long long argumentFallbacks = 0;  ///< requests sent again without a refused argument
  };
  /// The counts since construction; cheap, no request.
  RequestCounters GetRequestCounters() const;
  /// The node (of sIsilonNodeAddresses, or of the server name's resolution) the next session
  /// opens on: `index` modulo the node count; 0, the first, unless set. Sessions of one host
  /// spread over the cluster this way; each stays bound to its node as before. Takes effect
  /// when a session next opens.
  void SetFirstNode(size_t index);

  /// Settings of this session beyond the registry: CA file, certificate checks, time-outs,
  /// reply limit, node addresses, retries (see IsilonSessionOptions). Each field left unset
  /// takes the registry's value. Takes effect when a session next opens (an open session keeps
  /// its transport; the retry fields apply from the next operation).
  void SetSessionOptions(const IsilonSessionOptions& options);
  /// The options last set (all unset unless SetSessionOptions was called).
  const IsilonSessionOptions& GetSessionOptions() const;

  /// The `method` of SendRequest.
  enum RequestMethod {
    kGet = 0,    ///< GET
    kPost = 1,   ///< POST
    kPut = 2,    ///< PUT
    kDelete = 3  ///< DELETE
  };

  /// Opens the session if it is not open: logs in with the credentials (POST
  /// /session/1/session) and keeps the cookie and CSRF token. True at once when open. Every
  /// operation calls it first, so a host need not.
  bool OpenConnection();
  /// Ends the session on the cluster (DELETE /session/1/session) when open, then releases the
  /// connection. Always true: a failed close is only logged. The next operation opens anew.
  bool CloseConnection();
  /// Installs the session's cookie, CSRF and Referer headers on the transport; false when the
  /// transport refuses one.
  bool SetCurlHeaders();
  /// One request as it is, without retries or re-opening; a URI whose path has a "." or ".."
  /// segment, a URI with a NUL, another control byte or a blank, and a body with a NUL are
  /// refused (false, "Internal error" / "Invalid input parameters"). True when the cluster
  /// answered with a success status; `response` holds the reply's body either way.
  bool SendRequest(string& response, const int& method, const string& uri, const string& body,
                   const bool& resetHeaders);

  /// @name SMB shares and access zones
  /// Share names in DeleteCIFSShare, GetCIFSSharesList, GetFSPathForShare and SetSMBACLs are
  /// refused when they contain "/" or are "." or "..". An empty `zone` is the cluster's
  /// default zone (System).
  /// @{

  /// Creates share `name` on `path` (run as root for Everyone, no permissions). A share of that
  /// name already there counts as done (true, last error "AEC_CONFLICT"). `extra` is not sent.
  bool CreateCIFSShare(const string& name, const string& path, const string& extra, const string& zone);
  /// Deletes share `name`; a share that is not there counts as done (true, "AEC_NOT_FOUND").
  /// `path` must not be empty; it names the share in the log.
  bool DeleteCIFSShare(const string& name, const string& path, const string& zone);
  /// Every share of `zone` (all pages) when `shareName` is empty, else that one share; with a
  /// non-empty `path`, only the shares on that path.
  bool GetCIFSSharesList(vector<_IsilonShareInfo>& shares, const string& shareName, const string& path,
                         const string& zone);
  /// The path of share `shareName` and its record; false with "AEC_NOT_FOUND" when it is not
  /// there.
  bool GetFSPathForShare(const string& shareName, string& path, _IsilonShareInfo& info, const string& zone);
  /// Every access zone of the cluster.
  CZemError GetAccessZonesList(vector<_IsilonAccessZoneInfo>& zones);
  /// Every share of every access zone; error 1359 when one zone's shares could not be listed
  /// (the zones listed before stay in `shares`).
  CZemError GetAllCIFSSharesList(vector<_IsilonShareInfo>& shares);
  /// Replaces the permissions and run-as-root entries of share `shareName` with `acls`.
  bool SetSMBACLs(const _IsilonSMBACLs& acls, const string& shareName, const string& zone);
  /// @}

  /// @name NFS exports
  /// @{

  /// Creates an export of `paths` for the clients of `permissions`; `exportId` receives the new
  /// export's id. An export of those paths already there counts as done (true,
  /// "AEC_CONFLICT").
  bool CreateNFSExport(unsigned int& exportId, const vector<string>& paths, const _IsilonNFSPermissions& permissions,
                       const string& extraA, const string& extraB, bool readOnly, bool allDirs);
  /// Deletes export `exportId`; one that is not there counts as done (true, "AEC_NOT_FOUND").
  bool DeleteNFSExport(const unsigned int& exportId, const string& zone);
  /// Export `exportId`, or every export (all pages) when it is 0; with a non-empty `path`,
  /// only the exports of that path.
  bool GetNFSExportList(vector<_IsilonNFSExportInfo>& exports, const unsigned int& exportId, const string& path,
                        const string& zone);
  /// @}

  /// @name Namespace and cluster information
  /// Paths (listing, attributes, copy source and target) must begin with "/" and have no "."
  /// or ".." segment.
  /// @{

  /// One page of directory `path`, sorted by name, at most `limit` entries (1 to 999999999).
  /// The caller calls again with the `resume` it handed back until it comes back empty, and
  /// should stop if the cluster hands back a token it gave before (isilon::FollowPages does
  /// both). The page is written over the records `files` already holds (passing the same
  /// vector page after page saves allocations); a failed call leaves `files` empty.
  bool GetFileList(vector<_IsilonFileInfo>& files, const string& path, string& resume, int limit);
  /// The attributes of one file or directory (size in bytes, modification time in seconds
  /// since the epoch, owner, mode, type).
  bool GetPathAttributes(_IsilonFileInfo& info, const string& path);
  /// Copies `source` to `target` on the cluster (a file or a whole directory), replacing what is
  /// there only when `overwrite`. False with the first of the cluster's copy errors when it
  /// reports any.
  bool CopyFileOrDirectory(const string& source, const string& target, bool overwrite);
  /// The cluster's external IP addresses.
  bool GetExternalIPs(vector<string>& ips);
  /// The release of each node.
  CZemError GetVersionInfo(vector<_IsilonVersionInfo>& nodes);
  /// @}

  /// @name Snapshots and change lists
  /// @{

  /// Creates snapshot `name` of `path`; `id` receives its id from the cluster's reply (0 when
  /// the reply has none).
  bool CreateSnapshot(const string& path, const string& name, int& id);
  /// Deletes the snapshot with id `id`, or named `name` when `id` is 0 (a name that contains "/"
  /// or is "." or ".." is refused); one that is not there counts as done (true,
  /// "AEC_NOT_FOUND").
  bool DeleteSnapshot(const string& path, const string& name, const int& id);
  /// Snapshot `name`, or every snapshot (all pages, oldest first) when `name` is empty; with a
  /// non-empty `path`, only the snapshots of that path.
  bool GetSnapshotList(vector<_IsilonSnapInfo>& snaps, const string& path, const string& name);
  /// Starts the job that computes the changes between two snapshots. With `wait`, blocks until
  /// it ends, polling every two seconds for at most [~Tarvex]
  /// IsilonChangeListGenerationWaitTime seconds (default 900); error 774 when the job failed or
  /// did not end in time.
  CZemError CreateSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId, bool wait);
  /// One page of the change list: asks for the page after `info.strResume` and puts the page
  /// into `info`, reusing the records it already holds. A failed request leaves `info` as it
  /// was; a reply that cannot be read leaves it without records (token and total kept).
  CZemError GetSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId,
                                  _IsilonChangeListInfo& info);
  /// The settings of the cluster's change-list job type (enabled, policy, priority, schedule).
  CZemError GetChangeListJobInfo(_ChangeListCreateJobInfo& info);
  /// Changes the settings of the cluster's change-list job type.
  CZemError SetChangeListJobInfo(const _ChangeListCreateJobInfo& info);
  /// @}

  /// @name SyncIQ replication
  /// @{

  /// The policies whose source root is `path`, or, when `path` is empty, the one named
  /// `policyName`; false ("No policies found for path:[...]") when none matches.
  bool GetSyncIQPolicy(vector<_IsilonSyncIQPolicyInfo>& policies, const string& path, const string& policyName);
  /// Every policy of the cluster, all pages (an empty list is a success).
  bool GetAllSyncIQPolicies(vector<_IsilonSyncIQPolicyInfo>& policies);
  /// True when policy `policyName` (or `policy`, when given) has the settings a backup needs;
  /// with `modify`, sets the ones that differ.
  bool ValidateSyncIQPolicy(const string& policyName, const _IsilonSyncIQPolicyInfo* policy, bool modify);
  /// The properties of `policy` that differ from what a backup needs, with the values it needs.
  bool GetInvalidSyncIQProperties(const _IsilonSyncIQPolicyInfo& policy, vector<_IsilonSyncIQProperty>& invalid);
  /// Sets `properties` on policy `policyId` (an id that contains "/" or is "." or ".." is
  /// refused).
  bool ModifySyncIQPolicy(const string& policyId, vector<_IsilonSyncIQProperty> properties);
  /// Starts a job of policy `policyName` (from `sourceSnapshot` when not empty) and blocks until
  /// the cluster lists it: one-second retries while it has no id ([~Tarvex]
  /// nIsilonSyncIQJobStatusRetryCount, default 20), five-second waits while the policy's job is
  /// scheduled or paused, at most nIsilonSyncIQJobWaitLimit seconds (default 3600). When the
  /// cluster accepted the start but did not list the job before the retries ran out, the result
  /// is false with `jobId` 0 and the last error of the last lookup (usually "No response
  /// received from file server."): the job may well be running, so look it up with
  /// GetSyncIQJobInfo (state SYNCIQ_JOB_STATE_NONE) before starting another.
  bool StartSyncIQJob(const string& policyName, const string& sourceSnapshot, unsigned int& jobId);
  /// The job of policy `policyName` in `state` (any state with SYNCIQ_JOB_STATE_NONE).
  bool GetSyncIQJobInfo(_IsilonSyncIQJobInfo& job, const string& policyName, const eIsilonSyncIQJobState& state);
  /// The report of job `jobId` of policy `policyName` in `state`.
  bool GetSyncIQJobReport(_IsilonSyncIQJobReportInfo& report, const unsigned int& jobId, const string& policyName,
                          const eIsilonSyncIQJobState& state);
  /// @}

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
  ISILON_HIDDEN bool ClusterUnreachable() const;
  // The walk's sessions resume each other's TLS sessions with a node.
  ISILON_HIDDEN void ShareTlsSessions(std::shared_ptr<isilon::TlsSessionCache> cache);

  // The request cycle every operation shares. Its types are internal to the library
  // (src/session/); none of this is part of what a host links against.
  using RequestStep = isilon::RequestStep;
  using RequestOutcome = isilon::RequestOutcome;
  using RequestBuilder = std::function<bool(string& uri, string& body)>;
  // Opens the session if needed, builds the request, refuses a URI with dot segments, sends
  // it with the retry policy, re-opens an expired session once, and reads an error reply into
  // the last error (the one place an outcome becomes the last error and the failure line).
  ISILON_HIDDEN RequestOutcome RunRequest(const RequestStep& step, IsilonJsonBase& request, const RequestBuilder& build,
                                          string& response);
  // Follows a listing's resume tokens; a token handed out twice fails the operation.
  ISILON_HIDDEN bool FollowResumePages(const char* function, const isilon::PageReader& read,
                                       isilon::PageWalk* result = nullptr);
  ISILON_HIDDEN bool ListSyncIQPolicies(const char* function,
                                        const std::function<bool(const _IsilonSyncIQPolicyInfo&)>& keep,
                                        vector<_IsilonSyncIQPolicyInfo>& policies);
  // The settings of the running operation: the registry read once per operation, with this
  // session's options over it.
  ISILON_HIDDEN const isilon::Settings& CurrentSettings();
  // Ends an open session (as CloseConnection does) and forgets its cookies, before the server
  // or the credentials change.
  ISILON_HIDDEN void EndSessionForChange();

  ISILON_HIDDEN void Log(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  ISILON_HIDDEN void LogNoContext(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  ISILON_HIDDEN void SetLastError(const string& code, const string& message);
  // Every public operation starts with it, so the last error always describes the last call;
  // the settings are read afresh for the operation that follows.
  ISILON_HIDDEN void ClearLastError();
  // Writes the standard failure line and returns false.
  ISILON_HIDDEN bool LogFailure(const char* function, int line) const;
  // Sets the last error, writes the standard failure line and returns false.
  ISILON_HIDDEN bool Fail(const char* function, int line, const string& code, const string& message);
  // Refused input: "Internal error" / "Invalid input parameters" and the failure line.
  ISILON_HIDDEN bool FailInput(const char* function, int line);
  // The reporter: an outcome that is not a success becomes the last error; one not made also
  // gets the step's failure line.
  ISILON_HIDDEN void Report(const RequestStep& step, const RequestOutcome& outcome);

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
  // Everything else of the session: options, settings, counters, nodes, the request cycle.
  struct Session;
  Session* session_;
  // The observer SetWaitObserver installed (empty when none); kept behind session_.
  ISILON_HIDDEN const WaitObserver& CurrentWaitObserver() const;
};

/// The exported functions below each construct their own session object, run one operation and
/// destroy it. They do not end the session on the cluster (the destructor only releases the
/// connection): the cluster ends it after its idle time-out (15 minutes on a real cluster), and
/// until then it counts against the cluster's limit of sessions per user. A host that calls
/// them often should keep one ManageIsilon instead and call CloseConnection when done.
///
/// Whole create/delete of an SMB share for callers that hold no session object.
ISILON_API bool CreateShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                  const string& password, const string& path, const string& name, string& errorCode,
                                  string& errorMessage);
/// As CreateShareIsilon, deleting share `name` of `path` (one not there counts as done).
ISILON_API bool DeleteShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                  const string& password, const string& name, const string& path, string& errorCode,
                                  string& errorMessage);

extern "C" {
/// Whole create of an NFS export of `path` for `client`, exported under a plain symbol name.
ISILON_API bool CreateNfsExportIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                      const string& password, const string& extra, const string& path,
                                      const string& client, string& errorCode, string& errorMessage);
/// Deletes the exports of `path` in the same way.
ISILON_API bool DeleteNfsExportIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                      const string& password, const string& extra, const string& path,
                                      string& errorCode, string& errorMessage);
}

/// An integer from section [~Tarvex] of the registry when `instance` is null, else from
/// [~Tarvex/`instance`]; false when the key is absent.
ISILON_API bool MIGetRegInt(const char* instance, const char* key, int* value);
/// A text from the [~Tarvex] section of `instance` into `buffer` of `size` bytes; false when
/// the key is absent.
ISILON_API bool MIGetRegStr(const char* instance, const char* key, char* buffer, int size);
