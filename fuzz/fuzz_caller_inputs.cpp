// Feeds arbitrary bytes as one text argument of one operation (the first byte picks which),
// through a session whose transport only records what it is asked to send. What must hold: a
// text with a NUL anywhere sends nothing at all (no login either) and fails with "Internal
// error" / "Invalid input parameters"; whatever is sent has a URI without a NUL, control byte,
// blank or dot segment, header lines without NUL, CR or LF, and a body without a NUL.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "host/QuorLibCurl.h"
#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"

using fuzzcheck::Check;

namespace {

struct Sent {
  std::vector<std::string> uris, bodies, headers;
};
Sent g_sent;

// Accepts every request without a reply body; the login gets its two cookies.
class RecordingTransport : public QuorLibCurl {
 public:
  bool QuorLibCurlInit(const char*, bool, bool, QuorLibCurlWriteCallback) override { return true; }
  bool QuorLibCurlAppendHeader(_http_hdr_type_, const std::string& line) override {
    headers_.push_back(line);
    return true;
  }
  void QuorLibCurlFreeHttpHeaderList() override { headers_.clear(); }
  bool QuorLibCurlSendHttpReq(_http_req_type_, const std::string& uri, const char* data, size_t length, bool,
                              const char*) override {
    g_sent.uris.push_back(uri);
    g_sent.bodies.push_back(data != nullptr ? std::string(data, length) : std::string());
    g_sent.headers.insert(g_sent.headers.end(), headers_.begin(), headers_.end());
    return true;
  }
  char* GetHttpResponse(unsigned long& code, bool) override {
    code = 200;
    return nullptr;
  }
  bool GetHttpResponseHeaders(const std::string& name, std::vector<std::string>& values) override {
    values.clear();
    if (name == "Set-Cookie") values = {"isisessid=fuzz; path=/", "isicsrf=token; path=/"};
    return true;
  }
  void toggleTrace(bool) override {}
  void QuorLibCurlDeInit() override {}
  std::string GetLastErrorText() const override { return std::string(); }
  long GetLastHttpStatus() const override { return 200; }
  TransportResult GetLastResult() const override { return TransportResult::kSucceeded; }
  bool SetConnectAddress(const std::string&) override { return true; }

 private:
  std::vector<std::string> headers_;
};

void NoSleep(unsigned int, const char*, int) {}

using Text = const std::string&;

// An address, so that no name is ever looked up; nothing connects to it.
const std::string kServer = "127.0.0.1";

struct Results {
  std::string text, code, message;
  unsigned int id = 0;
  int snapId = 0;
  _IsilonShareInfo share;
  std::vector<_IsilonShareInfo> shares;
  std::vector<_IsilonNFSExportInfo> exports;
  std::vector<_IsilonFileInfo> files;
  _IsilonFileInfo file;
  std::vector<_IsilonSnapInfo> snaps;
  std::vector<_IsilonSyncIQPolicyInfo> policies;
  _IsilonSyncIQJobInfo job;
  _IsilonSyncIQJobReportInfo report;
};
Results out;

_IsilonSMBACLs Acl(Text permission, Text trustee) {
  return _IsilonSMBACLs{{{permission, "allow", {"", trustee, ""}}}, {{"", trustee, ""}}};
}

_IsilonNFSPermissions Clients(Text client) {
  _IsilonNFSPermissions p;
  p.setClients.insert(client);
  p.setSecurityFlavors.insert("unix");
  return p;
}

bool Ok(const CZemError& error) { return !error.IsError(); }

// Every operation with each of its text arguments in turn; the others hold ordinary values.
const std::vector<std::function<bool(ManageIsilon&, Text)>>& Calls() {
  static const std::vector<std::function<bool(ManageIsilon&, Text)>> calls = {
      [](ManageIsilon& s, Text v) { return s.CreateCIFSShare(v, "/ifs/data", "", ""); },
      [](ManageIsilon& s, Text v) { return s.CreateCIFSShare("data", v, "", ""); },
      [](ManageIsilon& s, Text v) { return s.CreateCIFSShare("data", "/ifs/data", v, ""); },
      [](ManageIsilon& s, Text v) { return s.CreateCIFSShare("data", "/ifs/data", "", v); },
      [](ManageIsilon& s, Text v) { return s.DeleteCIFSShare(v, "/ifs/data", ""); },
      [](ManageIsilon& s, Text v) { return s.DeleteCIFSShare("data", v, ""); },
      [](ManageIsilon& s, Text v) { return s.DeleteCIFSShare("data", "/ifs/data", v); },
      [](ManageIsilon& s, Text v) { return s.GetCIFSSharesList(out.shares, v, "", ""); },
      [](ManageIsilon& s, Text v) { return s.GetCIFSSharesList(out.shares, "", v, ""); },
      [](ManageIsilon& s, Text v) { return s.GetCIFSSharesList(out.shares, "", "", v); },
      [](ManageIsilon& s, Text v) { return s.GetFSPathForShare(v, out.text, out.share, ""); },
      [](ManageIsilon& s, Text v) { return s.GetFSPathForShare("data", out.text, out.share, v); },
      [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", "Everyone"), v, ""); },
      [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", "Everyone"), "data", v); },
      [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl(v, "Everyone"), "data", ""); },
      [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", v), "data", ""); },
      [](ManageIsilon& s, Text v) { return s.CreateNFSExport(out.id, {v}, Clients("h"), "", "", false, true); },
      [](ManageIsilon& s, Text v) { return s.CreateNFSExport(out.id, {"/ifs/a"}, Clients(v), "", "", false, true); },
      [](ManageIsilon& s, Text v) { return s.CreateNFSExport(out.id, {"/ifs/a"}, Clients("h"), v, "", false, true); },
      [](ManageIsilon& s, Text v) { return s.DeleteNFSExport(7, v); },
      [](ManageIsilon& s, Text v) { return s.GetNFSExportList(out.exports, 0, v, ""); },
      [](ManageIsilon& s, Text v) { return s.GetNFSExportList(out.exports, 0, "", v); },
      [](ManageIsilon& s, Text v) { return s.GetFileList(out.files, v, out.text.erase(), 10); },
      [](ManageIsilon& s, Text v) { return s.GetFileList(out.files, "/ifs/data", out.text.assign(v), 10); },
      [](ManageIsilon& s, Text v) { return s.GetPathAttributes(out.file, v); },
      [](ManageIsilon& s, Text v) { return s.CopyFileOrDirectory(v, "/ifs/b", true); },
      [](ManageIsilon& s, Text v) { return s.CopyFileOrDirectory("/ifs/a", v, false); },
      [](ManageIsilon& s, Text v) { return s.CreateSnapshot("/ifs/data", v, out.snapId); },
      [](ManageIsilon& s, Text v) { return s.CreateSnapshot(v, "daily", out.snapId); },
      [](ManageIsilon& s, Text v) { return s.DeleteSnapshot("/ifs/data", v, 0); },
      [](ManageIsilon& s, Text v) { return s.DeleteSnapshot(v, "daily", 0); },
      [](ManageIsilon& s, Text v) { return s.DeleteSnapshot("", v, 12); },
      [](ManageIsilon& s, Text v) { return s.GetSnapshotList(out.snaps, "", v); },
      [](ManageIsilon& s, Text v) { return s.GetSnapshotList(out.snaps, v, ""); },
      [](ManageIsilon& s, Text v) {
        unsigned long long older = 1, newer = 2;
        _IsilonChangeListInfo info;
        info.strResume = v;
        return Ok(s.GetSnapshotChangeList(older, newer, info));
      },
      [](ManageIsilon& s, Text v) { return s.GetSyncIQPolicy(out.policies, "", v); },
      [](ManageIsilon& s, Text v) { return s.GetSyncIQPolicy(out.policies, v, ""); },
      [](ManageIsilon& s, Text v) { return s.ValidateSyncIQPolicy(v, nullptr, true); },
      [](ManageIsilon& s, Text v) {
        return s.ModifySyncIQPolicy(v, {_IsilonSyncIQProperty(SYNCIQ_PROPERTY_ENABLED, "true")});
      },
      [](ManageIsilon& s, Text v) {
        return s.ModifySyncIQPolicy("p1", {_IsilonSyncIQProperty(SYNCIQ_PROPERTY_SCHEDULE, v)});
      },
      [](ManageIsilon& s, Text v) { return s.StartSyncIQJob(v, "snap", out.id); },
      [](ManageIsilon& s, Text v) { return s.StartSyncIQJob("home", v, out.id); },
      [](ManageIsilon& s, Text v) { return s.GetSyncIQJobInfo(out.job, v, SYNCIQ_JOB_STATE_NONE); },
      [](ManageIsilon& s, Text v) { return s.GetSyncIQJobReport(out.report, 0, v, SYNCIQ_JOB_STATE_FINISHED); },
      [](ManageIsilon& s, Text v) {
        std::string response;
        return s.SendRequest(response, ManageIsilon::kGet, v, "", true);
      },
      [](ManageIsilon& s, Text v) {
        std::string response;
        return s.SendRequest(response, ManageIsilon::kPost, "https://127.0.0.1:8080/platform/1/x", v, true);
      },
      // The session's own values, and the exported functions' (each with a session of its own).
      [](ManageIsilon& s, Text v) {
        s.SetUser(v);
        return s.OpenConnection();
      },
      [](ManageIsilon& s, Text v) {
        s.SetPasswd(v);
        return s.OpenConnection();
      },
      // A server name is only tried with a NUL in it: any other would be looked up in the DNS.
      [](ManageIsilon& s, Text v) {
        if (!isilon::HasNul(v)) return false;
        s.SetFileServer(kServer + v);
        return s.OpenConnection();
      },
      [](ManageIsilon&, Text v) { return CreateShareIsilon(0, kServer, "u", "p", v, "n", out.code, out.message); },
      [](ManageIsilon&, Text v) { return CreateShareIsilon(0, kServer, v, "p", "/ifs/a", "n", out.code, out.message); },
      [](ManageIsilon&, Text v) {
        return isilon::HasNul(v) && DeleteShareIsilon(0, kServer + v, "u", "p", "n", "/ifs/a", out.code, out.message);
      },
      [](ManageIsilon&, Text v) {
        return CreateNfsExportIsilon(0, kServer, "u", "p", v, "/ifs/a", "c", out.code, out.message);
      },
      [](ManageIsilon&, Text v) {
        return CreateNfsExportIsilon(0, kServer, "u", v, "", "/ifs/a", "c", out.code, out.message);
      },
      [](ManageIsilon&, Text v) { return DeleteNfsExportIsilon(0, kServer, "u", "p", "", v, out.code, out.message); },
      [](ManageIsilon&, Text v) {
        return DeleteNfsExportIsilon(0, kServer, "u", "p", v, "/ifs/a", out.code, out.message);
      },
  };
  return calls;
}

const size_t kExported = 7;  // the last calls report through out.code / out.message

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const bool setUp = [] {
    SetTransportFactory([] { return new RecordingTransport(); });
    SetZemSleepHook(&NoSleep);
    return true;
  }();
  (void)setUp;
  const std::vector<std::function<bool(ManageIsilon&, Text)>>& calls = Calls();
  const size_t which = data[0] % calls.size();
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  g_sent = Sent();
  out.code.clear();
  out.message.clear();
  ManageIsilon session;
  session.SetFileServer(kServer);
  session.SetUser("u");
  session.SetPasswd("p");
  const bool result = calls[which](session, text);

  if (isilon::HasNul(text)) {
    Check(!result);
    Check(g_sent.uris.empty());
    std::string code = out.code, message = out.message;
    if (which < calls.size() - kExported) session.GetLastError(code, message);
    Check(code == "Internal error" && message == "Invalid input parameters");
  }
  for (const std::string& uri : g_sent.uris) Check(isilon::IsSendableUri(uri) && !isilon::HasDotSegment(uri));
  for (const std::string& body : g_sent.bodies) Check(!isilon::HasNul(body));
  for (const std::string& line : g_sent.headers) Check(isilon::IsHeaderLine(line));
  return 0;
}
