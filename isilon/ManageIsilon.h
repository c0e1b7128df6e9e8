#pragma once
// The session with one cluster and every operation the host runs on it.
#include <functional>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/QuorLibCurl.h"
#include "host/ZemError.h"
#include "isilon/IsilonJSON.h"

using std::string;
using std::vector;

// One authenticated session with one cluster (the "file server"). The session opens on the
// first operation and is reused; one caller thread at a time per object.
class ISILON_API ManageIsilon {
 public:
  ManageIsilon();
  explicit ManageIsilon(const unsigned long long& context);
  ~ManageIsilon();
  ManageIsilon(const ManageIsilon&) = delete;
  ManageIsilon& operator=(const ManageIsilon&) = delete;

  void Init();
  void SetFileServer(const string& server);
  void SetUser(const string& user);
  string ValidateEscSeq(const string& text);
  void SetPasswd(const string& password);
  bool SetPasswd(const string& password, bool encrypted);
  void GetLastError(string& code, string& message);
  // The transport's cause for the last failed request (connection refused, certificate not
  // trusted, time-out, HTTP status), or empty.
  string GetLastTransportError() const;

  bool OpenConnection();
  bool CloseConnection();
  bool SetCurlHeaders();
  bool SendRequest(string& response, const int& method, const string& uri, const string& body,
                   const bool& resetHeaders);

  // SMB shares and access zones
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

  // Namespace and cluster information
  bool GetFileList(vector<_IsilonFileInfo>& files, const string& path, string& resume, int limit);
  bool GetPathAttributes(_IsilonFileInfo& info, const string& path);
  bool CopyFileOrDirectory(const string& source, const string& target, bool overwrite);
  bool GetExternalIPs(vector<string>& ips);
  CZemError GetVersionInfo(vector<_IsilonVersionInfo>& nodes);

  // Snapshots and change lists
  bool CreateSnapshot(const string& path, const string& name, int& id);
  bool DeleteSnapshot(const string& path, const string& name, const int& id);
  bool GetSnapshotList(vector<_IsilonSnapInfo>& snaps, const string& path, const string& name);
  CZemError CreateSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId, bool wait);
  CZemError GetSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId,
                                  _IsilonChangeListInfo& info);
  CZemError GetChangeListJobInfo(_ChangeListCreateJobInfo& info);
  CZemError SetChangeListJobInfo(const _ChangeListCreateJobInfo& info);

  // SyncIQ replication
  bool GetSyncIQPolicy(vector<_IsilonSyncIQPolicyInfo>& policies, const string& path, const string& policyName);
  bool ValidateSyncIQPolicy(const string& policyName, const _IsilonSyncIQPolicyInfo* policy, bool modify);
  bool GetInvalidSyncIQProperties(const _IsilonSyncIQPolicyInfo& policy, vector<_IsilonSyncIQProperty>& invalid);
  bool ModifySyncIQPolicy(const string& policyId, vector<_IsilonSyncIQProperty> properties);
  bool StartSyncIQJob(const string& policyName, const string& sourceSnapshot, unsigned int& jobId);
  bool GetSyncIQJobInfo(_IsilonSyncIQJobInfo& job, const string& policyName, const eIsilonSyncIQJobState& state);
  bool GetSyncIQJobReport(_IsilonSyncIQJobReportInfo& report, const unsigned int& jobId, const string& policyName,
                          const eIsilonSyncIQJobState& state);

  // ---- The request cycle every operation shares ----------------------------------------
  enum RequestMethod { kGet = 0, kPost = 1, kPut = 2, kDelete = 3 };
  enum RequestOutcome {
    kRequestAccepted,  // the cluster answered with success; `response` holds the reply
    kRequestRejected,  // the request failed; the cluster's error is in the last error
    kRequestNotSent,   // the session could not be opened or the request not built
  };
  struct RequestStep {
    const char* function;      // log text of the calling operation
    int method;                // RequestMethod
    const char* buildFailure;  // last error message when building fails (code "Internal Error")
    bool logFailures;          // write the standard failure line when nothing could be sent
    bool resetHeaders;         // install the session headers afresh before sending
    // The success reply must be empty (deletes): any text is read as the cluster's error and
    // the request counts as rejected.
    bool emptyReply = false;
  };
  using RequestBuilder = std::function<bool(string& uri, string& body)>;
  // Opens the session if needed, builds the request, sends it and, when it fails, reads the
  // error reply with `request` into the last error.
  RequestOutcome RunRequest(const RequestStep& step, IsilonJsonBase& request, const RequestBuilder& build,
                            string& response);

  // Logging through the host's log writer with this session's context (or 0).
  void Log(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  void LogNoContext(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  void SetLastError(const string& code, const string& message);
  // Writes the standard failure line and returns false.
  bool LogFailure(const char* function, int line) const;
  // Sets the last error, writes the standard failure line and returns false.
  bool Fail(const char* function, int line, const string& code, const string& message);

 private:
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
};

// Whole create/delete of an SMB share for callers that hold no session object.
ISILON_API bool CreateShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                  const string& password, const string& path, const string& name,
                                  string& errorCode, string& errorMessage);
ISILON_API bool DeleteShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                                  const string& password, const string& name, const string& path,
                                  string& errorCode, string& errorMessage);

// Whole create/delete of an NFS export, exported under plain symbol names.
extern "C" {
ISILON_API bool CreateNfsExportIsilon(const unsigned long long& context, const string& fileServer,
                                      const string& user, const string& password, const string& extra,
                                      const string& path, const string& client, string& errorCode,
                                      string& errorMessage);
ISILON_API bool DeleteNfsExportIsilon(const unsigned long long& context, const string& fileServer,
                                      const string& user, const string& password, const string& extra,
                                      const string& path, string& errorCode, string& errorMessage);
}

// Configuration lookups in the [~Tarvex] sections of the registry.
ISILON_API bool MIGetRegInt(const char* instance, const char* key, int* value);
ISILON_API bool MIGetRegStr(const char* instance, const char* key, char* buffer, int size);
