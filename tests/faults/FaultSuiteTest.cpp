// Every operation against a misbehaving cluster: one table of operations, one of faults, and
// every pairing run through the real transport against the simulator under the sanitizers.
// Whatever the server does, an operation must return a defined failure with a readable cause
// (or, for a reply it can still read, a defined success), never crash and never hang past the
// configured time-outs.
//
// To add a fault: one line in Faults() below. To add an operation: one row in Operations().
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

namespace {

const char kAddress[] = "127.0.0.80";

// What an operation left behind.
struct Outcome {
  bool ok = false;
  std::string code, message, transport;
  size_t outputs = 0;  // items in the caller's output list (or 1 for a filled record)
};

// How a reply-mangling fault rewrites a good reply.
using Mangle = std::function<std::string(const nlohmann::json& good)>;

// How an operation follows "resume" tokens.
enum Paging { kOnePage, kAllPages, kUntilFound /* may stop at a match before the repeat */ };
// What it does with a success reply.
enum Reply {
  kIgnored,  // only logs it
  kRead,     // reads it and fails when it cannot
  kLenient,  // reads it, and a body it cannot read gives an empty result (a success)
};

struct Operation {
  const char* name;
  const char* method;  // of the request the faults hit
  const char* path;    // path prefix of that request
  Paging paging;
  Reply reply;
  std::function<void(ManageIsilon&)> prepare;  // state the operation needs (run without faults)
  std::function<Outcome(ManageIsilon&)> run;
  bool sessionObject = true;  // false: makes its own session, so no transport cause to read
};

struct FaultRow {
  const char* name;
  // Arms the fault for `op`; false when it does not apply to that operation.
  std::function<bool(isim::Server&, const Operation&, const std::string& goodReply)> arm;
  // What must hold afterwards, beyond "no crash, no hang".
  std::function<void(const Operation&, const Outcome&)> check;
};

Outcome Finish(ManageIsilon& session, bool ok, size_t outputs) {
  Outcome out;
  out.ok = ok;
  out.outputs = outputs;
  session.GetLastError(out.code, out.message);
  out.transport = session.GetLastTransportError();
  return out;
}

Outcome FinishError(ManageIsilon& session, const CZemError& error, size_t outputs) {
  return Finish(session, !error.IsError(), outputs);
}

// Replaces every number of a reply with `number` (as text, so it may be out of any range).
std::string WithNumbers(const nlohmann::json& good, const std::string& number) {
  std::function<void(nlohmann::json&)> walk = [&](nlohmann::json& j) {
    if (j.is_number()) {
      j = "\x01NUM\x01";
    } else if (j.is_structured()) {
      for (auto& child : j) walk(child);
    }
  };
  nlohmann::json copy = good;
  if (copy.is_object() || copy.is_array()) {
    for (auto& child : copy) walk(child);
  }
  std::string text = copy.dump();
  const std::string marker = "\"\\u0001NUM\\u0001\"";
  for (size_t pos = text.find(marker); pos != std::string::npos; pos = text.find(marker, pos + number.size())) {
    text.replace(pos, marker.size(), number);
  }
  return text;
}

// Gives every member the wrong kind: strings become numbers, numbers strings, arrays objects.
std::string WithWrongKinds(const nlohmann::json& good) {
  std::function<nlohmann::json(const nlohmann::json&)> flip = [&](const nlohmann::json& j) -> nlohmann::json {
    if (j.is_string()) return 7;
    if (j.is_number()) return "7";
    if (j.is_boolean()) return nullptr;
    if (j.is_array()) {
      nlohmann::json o = nlohmann::json::object();
      for (size_t i = 0; i < j.size(); ++i) o[std::to_string(i)] = flip(j[i]);
      return o;
    }
    if (j.is_object()) {
      nlohmann::json o = nlohmann::json::object();
      for (auto it = j.begin(); it != j.end(); ++it)
        o[it.key()] = it.value().is_array() ? nlohmann::json("x") : flip(it.value());
      return o;
    }
    return j;
  };
  return flip(good).dump();
}

// The good reply with every array element and member value wrapped 5000 levels deep.
std::string WithDeepNesting(const nlohmann::json& good) {
  std::string text = good.dump();
  const std::string deep = std::string(5000, '[') + "1" + std::string(5000, ']');
  const size_t open = text.find('[');
  if (open == std::string::npos) return "{\"x\":" + deep + "}";
  text.insert(open + 1, deep + ",");
  return text;
}

// What must hold after a fault, beyond "no crash, no hang".
void Failed(const Operation& op, const Outcome& out) {
  EXPECT_FALSE(out.ok) << op.name;
  EXPECT_FALSE(out.code.empty() && out.message.empty()) << op.name << ": failure without a cause";
}
// A reply the library can still read may succeed; a failure must say why.
void Defined(const Operation& op, const Outcome& out) {
  if (!out.ok) {
    EXPECT_FALSE(out.code.empty() && out.message.empty()) << op.name << ": failure without a cause";
  }
}
// Failed, and the transport gives a cause that names `cause` (any cause when empty); only a
// session object can tell it.
std::function<void(const Operation&, const Outcome&)> FailedWith(const std::string& cause) {
  return [cause](const Operation& op, const Outcome& out) {
    Failed(op, out);
    if (!op.sessionObject) return;
    EXPECT_FALSE(out.transport.empty()) << op.name;
    EXPECT_NE(out.transport.find(cause), std::string::npos) << op.name << ": " << out.transport;
  };
}
void ClusterError(const Operation& op, const Outcome& out) {
  EXPECT_FALSE(out.ok) << op.name;
  EXPECT_EQ(out.code, "AEC_SYSTEM_INTERNAL_ERROR") << op.name;
  EXPECT_EQ(out.message, "fault suite") << op.name;
}

// Arms the fault `make` gives for every request of the operation.
using MakeFault = std::function<isim::Fault(const Operation&)>;
std::function<bool(isim::Server&, const Operation&, const std::string&)> Always(MakeFault make) {
  return [make](isim::Server& server, const Operation& op, const std::string&) {
    server.faults().add(make(op).on(op.method).count(-1));
    return true;
  };
}
// The same, only for operations that pass `applies`.
std::function<bool(isim::Server&, const Operation&, const std::string&)> When(
    std::function<bool(const Operation&)> applies, MakeFault make) {
  return [applies, make](isim::Server& server, const Operation& op, const std::string& good) {
    return applies(op) && Always(make)(server, op, good);
  };
}
// Serves the operation's own good reply, rewritten by `mangle`.
std::function<bool(isim::Server&, const Operation&, const std::string&)> Mangled(Mangle mangle) {
  return [mangle](isim::Server& server, const Operation& op, const std::string& good) {
    if (op.reply == kIgnored || good.empty()) return false;
    const nlohmann::json parsed = nlohmann::json::parse(good, nullptr, false);
    if (parsed.is_discarded()) return false;
    server.faults().add(isim::Fault::replace(op.path, 200, mangle(parsed)).on(op.method).count(-1));
    return true;
  };
}

bool ReadsReply(const Operation& op) { return op.reply != kIgnored; }
bool Pages(const Operation& op) { return op.paging != kOnePage; }
// A reader that takes what it cannot parse as an empty result, or a lookup that may find its
// match before the fault, may succeed.
void FailedUnlessLenient(const Operation& op, const Outcome& out) {
  op.reply == kLenient ? Defined(op, out) : Failed(op, out);
}
void FailedUnlessFoundFirst(const Operation& op, const Outcome& out) {
  op.paging == kUntilFound ? Defined(op, out) : Failed(op, out);
}

// One row per fault.
std::vector<FaultRow> Faults() {
  using F = isim::Fault;
  using J = const nlohmann::json&;
  return {
      {"ErrorStatusWithClusterError",
       Always([](const Operation& op) { return F::error(op.path, 500, "AEC_SYSTEM_INTERNAL_ERROR", "fault suite"); }),
       ClusterError},
      {"ErrorStatusNotJson", Always([](const Operation& op) { return F::notJson(op.path, 502); }), Failed},
      {"SuccessStatusNotJson", When(ReadsReply, [](const Operation& op) { return F::notJson(op.path, 200); }),
       FailedUnlessLenient},
      {"TruncatedBody",
       Always([](const Operation& op) { return F::truncate(op.path, "{\"errors\":[{\"code\":\"AEC_", 4096); }), Failed},
      {"ClosedBeforeReply", Always([](const Operation& op) { return F::closeBeforeReply(op.path); }), FailedWith("")},
      {"ClosedMidReply", Always([](const Operation& op) { return F::closeMidReply(op.path); }), Failed},
      {"DelayPastRequestTimeout", Always([](const Operation& op) { return F::delay(op.path, 2500); }),
       FailedWith("timed out")},
      {"HugeReply", Always([](const Operation& op) { return F::hugeBody(op.path, 3u << 20, "{\"x\":\""); }),
       FailedWith("limit")},
      {"RepeatedResumeToken", When(Pages, [](const Operation& op) { return F::repeatResume(op.path); }),
       FailedUnlessFoundFirst},
      {"NegativeNumbers", Mangled([](J j) { return WithNumbers(j, "-5"); }), Defined},
      {"FractionalNumbers", Mangled([](J j) { return WithNumbers(j, "2.75"); }), Defined},
      {"NumbersBeyond2To64", Mangled([](J j) { return WithNumbers(j, "36893488147419103232"); }), Defined},
      {"NumbersBeyondLongDouble", Mangled([](J j) { return WithNumbers(j, "1e5000"); }), Defined},
      {"MembersOfTheWrongKind", Mangled(WithWrongKinds), Defined},
      {"DeepNesting", Mangled(WithDeepNesting), Defined},
  };
}

// ---- Operations ---------------------------------------------------------------------------

const char kShares[] = "/platform/1/protocols/smb/shares";
const char kExports[] = "/platform/1/protocols/nfs/exports";
const char kSnapshots[] = "/platform/1/snapshot/snapshots";

void Nothing(ManageIsilon&) {}

std::vector<Operation> Operations() {
  std::vector<Operation> ops;
  auto add = [&ops](Operation op) { ops.push_back(std::move(op)); };

  // Session
  add({"OpenConnection", "POST", "/session/1/session", kOnePage, kIgnored, Nothing,
       [](ManageIsilon& s) { return Finish(s, s.OpenConnection(), 0); }});

  // SMB shares and zones
  add({"CreateCIFSShare", "POST", kShares, kOnePage, kIgnored, Nothing,
       [](ManageIsilon& s) { return Finish(s, s.CreateCIFSShare("faultshare", "/ifs/data", "", "System"), 0); }});
  add({"DeleteCIFSShare", "DELETE", kShares, kOnePage, kIgnored,
       [](ManageIsilon& s) { s.CreateCIFSShare("faultdel", "/ifs/data", "", "System"); },
       [](ManageIsilon& s) { return Finish(s, s.DeleteCIFSShare("faultdel", "/ifs/data", "System"), 0); }});
  add({"GetCIFSSharesList", "GET", kShares, kAllPages, kRead,
       [](ManageIsilon& s) { s.CreateCIFSShare("faultlist", "/ifs/data", "", "System"); },
       [](ManageIsilon& s) {
         std::vector<_IsilonShareInfo> shares;
         const bool ok = s.GetCIFSSharesList(shares, "", "", "System");
         return Finish(s, ok, shares.size());
       }});
  add({"GetFSPathForShare", "GET", kShares, kUntilFound, kRead,
       [](ManageIsilon& s) { s.CreateCIFSShare("faultpath", "/ifs/data", "", "System"); },
       [](ManageIsilon& s) {
         std::string path;
         _IsilonShareInfo info;
         const bool ok = s.GetFSPathForShare("faultpath", path, info, "System");
         return Finish(s, ok, path.empty() ? 0 : 1);
       }});
  add({"GetAccessZonesList", "GET", "/platform/3/zones", kOnePage, kRead, Nothing, [](ManageIsilon& s) {
         std::vector<_IsilonAccessZoneInfo> zones;
         const CZemError e = s.GetAccessZonesList(zones);
         return FinishError(s, e, zones.size());
       }});
  add({"GetAllCIFSSharesList", "GET", kShares, kAllPages, kRead, Nothing, [](ManageIsilon& s) {
         std::vector<_IsilonShareInfo> shares;
         const CZemError e = s.GetAllCIFSSharesList(shares);
         return FinishError(s, e, shares.size());
       }});
  add({"SetSMBACLs", "PUT", "/platform/3/protocols/smb/shares/", kOnePage, kIgnored,
       [](ManageIsilon& s) { s.CreateCIFSShare("faultacl", "/ifs/data", "", "System"); },
       [](ManageIsilon& s) {
         _IsilonSMBACLs acls;
         return Finish(s, s.SetSMBACLs(acls, "faultacl", "System"), 0);
       }});

  // NFS exports
  add({"CreateNFSExport", "POST", kExports, kOnePage, kRead, Nothing, [](ManageIsilon& s) {
         unsigned int id = 0;
         _IsilonNFSPermissions permissions;
         const bool ok = s.CreateNFSExport(id, {"/ifs/data/nfs-fault"}, permissions, "", "", false, false);
         return Finish(s, ok, id != 0 ? 1 : 0);
       }});
  add({"DeleteNFSExport", "DELETE", kExports, kOnePage, kIgnored, Nothing,
       [](ManageIsilon& s) { return Finish(s, s.DeleteNFSExport(1, ""), 0); }});
  add({"GetNFSExportList", "GET", kExports, kAllPages, kRead,
       [](ManageIsilon& s) {
         unsigned int id = 0;
         _IsilonNFSPermissions permissions;
         s.CreateNFSExport(id, {"/ifs/data/nfs-list"}, permissions, "", "", false, false);
       },
       [](ManageIsilon& s) {
         std::vector<_IsilonNFSExportInfo> exports;
         const bool ok = s.GetNFSExportList(exports, 0, "", "");
         return Finish(s, ok, exports.size());
       }});

  // Namespace and cluster
  add({"GetFileList", "GET", "/namespace/ifs", kOnePage, kRead, Nothing, [](ManageIsilon& s) {
         std::vector<_IsilonFileInfo> files;
         std::string resume;
         const bool ok = s.GetFileList(files, "/ifs/data", resume, 100);
         return Finish(s, ok, files.size());
       }});
  add({"GetPathAttributes", "GET", "/namespace/ifs", kOnePage, kRead, Nothing, [](ManageIsilon& s) {
         _IsilonFileInfo info;
         const bool ok = s.GetPathAttributes(info, "/ifs/data");
         return Finish(s, ok, info.strName.empty() ? 0 : 1);
       }});
  add({"CopyFileOrDirectory", "PUT", "/namespace/ifs", kOnePage, kIgnored, Nothing, [](ManageIsilon& s) {
         return Finish(s, s.CopyFileOrDirectory("/ifs/data/projects/plan.txt", "/ifs/data/fault-copy.txt", true), 0);
       }});
  add({"GetExternalIPs", "GET", "/platform/1/cluster/external-ips", kOnePage, kLenient, Nothing, [](ManageIsilon& s) {
         std::vector<std::string> ips;
         const bool ok = s.GetExternalIPs(ips);
         return Finish(s, ok, ips.size());
       }});
  add({"GetVersionInfo", "GET", "/platform/3/cluster/version", kOnePage, kRead, Nothing, [](ManageIsilon& s) {
         std::vector<_IsilonVersionInfo> nodes;
         const CZemError e = s.GetVersionInfo(nodes);
         return FinishError(s, e, nodes.size());
       }});

  // Snapshots and change lists
  add({"CreateSnapshot", "POST", kSnapshots, kOnePage, kIgnored, Nothing, [](ManageIsilon& s) {
         int id = 0;
         const bool ok = s.CreateSnapshot("/ifs/data", "fault-snap", id);
         return Finish(s, ok, id != 0 ? 1 : 0);
       }});
  add({"DeleteSnapshot", "DELETE", kSnapshots, kOnePage, kIgnored, Nothing,
       [](ManageIsilon& s) { return Finish(s, s.DeleteSnapshot("/ifs/data", "fault-gone", 0), 0); }});
  add({"GetSnapshotList", "GET", kSnapshots, kAllPages, kRead,
       [](ManageIsilon& s) {
         int id = 0;
         s.CreateSnapshot("/ifs/data", "fault-listed", id);
       },
       [](ManageIsilon& s) {
         std::vector<_IsilonSnapInfo> snaps;
         const bool ok = s.GetSnapshotList(snaps, "", "");
         return Finish(s, ok, snaps.size());
       }});
  add({"CreateSnapshotChangeList", "POST", "/platform/3/job/jobs", kOnePage, kRead,
       [](ManageIsilon& s) {
         int a = 0, b = 0;
         s.CreateSnapshot("/ifs/data", "fault-cl-a", a);
         s.CreateSnapshot("/ifs/data", "fault-cl-b", b);
       },
       [](ManageIsilon& s) {
         std::vector<_IsilonSnapInfo> snaps;
         s.GetSnapshotList(snaps, "", "");
         unsigned long long older = snaps.size() > 1 ? snaps[snaps.size() - 2].nId : 1;
         unsigned long long newer = snaps.size() > 1 ? snaps.back().nId : 2;
         const CZemError e = s.CreateSnapshotChangeList(older, newer, true);
         return FinishError(s, e, 0);
       }});
  add({"GetSnapshotChangeList", "GET", "/platform/3/snapshot/changelists/", kOnePage, kRead, Nothing,
       [](ManageIsilon& s) {
         unsigned long long older = 1, newer = 2;
         _IsilonChangeListInfo info;
         const CZemError e = s.GetSnapshotChangeList(older, newer, info);
         return FinishError(s, e, 0);
       }});
  add({"GetChangeListJobInfo", "GET", "/platform/3/job/types/ChangelistCreate", kOnePage, kRead, Nothing,
       [](ManageIsilon& s) {
         _ChangeListCreateJobInfo info;
         const CZemError e = s.GetChangeListJobInfo(info);
         return FinishError(s, e, 0);
       }});
  add({"SetChangeListJobInfo", "PUT", "/platform/3/job/types/ChangelistCreate", kOnePage, kIgnored, Nothing,
       [](ManageIsilon& s) {
         _ChangeListCreateJobInfo info;
         const CZemError e = s.SetChangeListJobInfo(info);
         return FinishError(s, e, 0);
       }});

  // SyncIQ
  add({"GetSyncIQPolicy", "GET", "/platform/1/sync/policies", kAllPages, kRead, Nothing, [](ManageIsilon& s) {
         std::vector<_IsilonSyncIQPolicyInfo> policies;
         const bool ok = s.GetSyncIQPolicy(policies, "", "");
         return Finish(s, ok, policies.size());
       }});
  add({"ModifySyncIQPolicy", "PUT", "/platform/1/sync/policies/", kOnePage, kIgnored, Nothing, [](ManageIsilon& s) {
         std::vector<_IsilonSyncIQProperty> properties{{SYNCIQ_PROPERTY_ENABLED, "true"}};
         return Finish(s, s.ModifySyncIQPolicy("fault-policy-id", properties), 0);
       }});
  add({"StartSyncIQJob", "POST", "/platform/1/sync/jobs", kOnePage, kRead, Nothing, [](ManageIsilon& s) {
         unsigned int id = 0;
         const bool ok = s.StartSyncIQJob("fault-policy", "fault-snapshot", id);
         return Finish(s, ok, id != 0 ? 1 : 0);
       }});
  add({"GetSyncIQJobInfo", "GET", "/platform/1/sync/jobs", kUntilFound, kRead, Nothing, [](ManageIsilon& s) {
         _IsilonSyncIQJobInfo job;
         const bool ok = s.GetSyncIQJobInfo(job, "fault-policy", SYNCIQ_JOB_STATE_NONE);
         return Finish(s, ok, 0);
       }});
  add({"GetSyncIQJobReport", "GET", "/platform/1/sync/reports", kUntilFound, kRead, Nothing, [](ManageIsilon& s) {
         _IsilonSyncIQJobReportInfo report;
         const bool ok = s.GetSyncIQJobReport(report, 1, "fault-policy", SYNCIQ_JOB_STATE_FINISHED);
         return Finish(s, ok, 0);
       }});
  return ops;
}

// The exported functions make their own session: they go through the same table with a
// session object that only carries the credentials.
struct Credentials {
  static std::string user, password;
};
std::string Credentials::user, Credentials::password;

std::vector<Operation> ExportedFunctions() {
  auto outcome = [](bool ok, const std::string& code, const std::string& message) {
    Outcome out;
    out.ok = ok;
    out.code = code;
    out.message = message;
    return out;
  };
  std::vector<Operation> ops;
  ops.push_back({"CreateShareIsilon", "POST", kShares, kOnePage, kIgnored, Nothing, [outcome](ManageIsilon&) {
                   std::string code, message;
                   const bool ok = CreateShareIsilon(0, kAddress, Credentials::user, Credentials::password, "/ifs/data",
                                                     "faultexported", code, message);
                   return outcome(ok, code, message);
                 }});
  ops.push_back({"DeleteShareIsilon", "DELETE", kShares, kOnePage, kIgnored, Nothing, [outcome](ManageIsilon&) {
                   std::string code, message;
                   const bool ok = DeleteShareIsilon(0, kAddress, Credentials::user, Credentials::password,
                                                     "faultexported", "/ifs/data", code, message);
                   return outcome(ok, code, message);
                 }});
  ops.push_back({"CreateNfsExportIsilon", "POST", kExports, kOnePage, kIgnored, Nothing, [outcome](ManageIsilon&) {
                   std::string code, message;
                   const bool ok = CreateNfsExportIsilon(0, kAddress, Credentials::user, Credentials::password, "",
                                                         "/ifs/data/nfs-exported", "", code, message);
                   return outcome(ok, code, message);
                 }});
  ops.push_back({"DeleteNfsExportIsilon", "GET", kExports, kOnePage, kRead, Nothing, [outcome](ManageIsilon&) {
                   std::string code, message;
                   const bool ok = DeleteNfsExportIsilon(0, kAddress, Credentials::user, Credentials::password, "",
                                                         "/ifs/data/nfs-exported", code, message);
                   return outcome(ok, code, message);
                 }});
  for (Operation& op : ops) op.sessionObject = false;
  return ops;
}

void NoSleep(unsigned int, const char*, int) {}

class FaultSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The client hangs up on the server mid-reply on purpose; that must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    isim::Config config;
    config.demo = true;
    config.users = {{"admin", "Fault-Suite-Pa55word"}};
    cluster_ = new SimCluster(kAddress, config);
    Credentials::user = cluster_->user();
    Credentials::password = cluster_->password();
    registry_ = new ScopedRegistry("[NAS]\nsIsilonCAFile = " + cluster_->certPath() +
                                   "\nnIsilonConnectTimeout = 2\nnIsilonRequestTimeout = 1\nnIsilonMaxReplyMiB = 1\n"
                                   "[~Tarvex]\nnIsilonSyncIQJobStatusRetryCount = 1\nnIsilonSyncIQJobWaitLimit = 1\n"
                                   "IsilonChangeListGenerationWaitTime = 1\n");
    // The library's waits (job polls) are not what is under test here.
    SetZemSleepHook(&NoSleep);
    log_ = new ScopedLogCapture(7);
  }
  static void TearDownTestSuite() {
    // Whatever went wrong, the password never reached the log in clear.
    EXPECT_EQ(log_->All().find(cluster_->password()), std::string::npos);
    delete log_;
    log_ = nullptr;
    SetZemSleepHook(nullptr);
    delete registry_;
    delete cluster_;
    registry_ = nullptr;
    cluster_ = nullptr;
  }

  std::unique_ptr<ManageIsilon> NewSession() {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon());
    session->SetFileServer(kAddress);
    session->SetUser(cluster_->user());
    session->SetPasswd(cluster_->password());
    return session;
  }

  // The reply the operation's request gets from a healthy cluster, fetched directly.
  std::string GoodReply(const Operation& op) {
    if (std::string(op.method) != "GET") return std::string();
    isim::LoggedRequest last;
    bool found = false;
    for (const isim::LoggedRequest& r : cluster_->server().requestLog().entries()) {
      if (r.method == op.method && r.path().compare(0, std::strlen(op.path), op.path) == 0) {
        last = r;
        found = true;
      }
    }
    if (!found) return std::string();
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::string reply;
    if (!session->OpenConnection()) return std::string();
    const std::string uri = "https://" + std::string(kAddress) + ":8080" + last.target;
    return session->SendRequest(reply, ManageIsilon::kGet, uri, "", true) ? reply : std::string();
  }

  void RunTable(const std::vector<Operation>& ops) {
    const std::vector<FaultRow> faults = Faults();
    for (const Operation& op : ops) {
      cluster_->server().faults().clear();
      cluster_->server().requestLog().clear();
      {
        std::unique_ptr<ManageIsilon> session = NewSession();
        op.prepare(*session);
        op.run(*session);  // a healthy run, for the reply that the mangling faults start from
      }
      const std::string good = GoodReply(op);
      for (const FaultRow& fault : faults) {
        SCOPED_TRACE(std::string(op.name) + " / " + fault.name);
        cluster_->server().faults().clear();
        std::unique_ptr<ManageIsilon> session = NewSession();
        op.prepare(*session);
        if (std::string(op.path) != "/session/1/session") {
          ASSERT_TRUE(session->OpenConnection());
        }
        if (!fault.arm(cluster_->server(), op, good)) continue;
        const Outcome out = op.run(*session);
        cluster_->server().faults().clear();
        fault.check(op, out);
      }
    }
  }

  static SimCluster* cluster_;
  static ScopedRegistry* registry_;
  static ScopedLogCapture* log_;
};

ScopedLogCapture* FaultSuite::log_ = nullptr;

SimCluster* FaultSuite::cluster_ = nullptr;
ScopedRegistry* FaultSuite::registry_ = nullptr;

TEST_F(FaultSuite, EveryOperationUnderEveryFault) { RunTable(Operations()); }

TEST_F(FaultSuite, EveryExportedFunctionUnderEveryFault) { RunTable(ExportedFunctions()); }

}  // namespace
