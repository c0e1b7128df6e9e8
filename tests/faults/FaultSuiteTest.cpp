// Every operation (Operations()) under every fault (Faults()), through the real transport against
// the simulator: whatever the server does, an operation ends in a failure with a readable cause
// (or, for a reply it can still read, a defined success), never crashes and never hangs past the
// configured time-outs.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "isilon/ManageIsilon.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimSessionFixture.h"

namespace {

const char kAddress[] = "127.0.0.80";

// What an operation left behind (the cause is filled in from the session object).
struct Outcome {
  // Implicit, so that an operation returns its bool or CZemError as it is.
  Outcome(bool succeeded = false) : ok(succeeded) {}
  Outcome(const CZemError& error) : ok(!error.IsError()) {}
  bool ok;
  std::string code, message, transport;
};
using Runner = std::function<Outcome(ManageIsilon&)>;
// An operation that fills a fresh T (a list, a record, an id).
template <typename T, typename Call>
Runner With(Call call) {
  return [call](ManageIsilon& s) {
    T out{};
    return Outcome(call(s, out));
  };
}

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
  Runner run;
  bool sessionObject = true;  // false: makes its own session, so no transport cause to read
};

// Arms a fault for an operation with this good reply; false when it does not apply to that operation.
using Arm = std::function<bool(isim::Server&, const Operation&, const std::string& goodReply)>;
// What must hold after a fault, beyond "no crash, no hang".
using Check = std::function<void(const Operation&, const Outcome&)>;
struct FaultRow {
  const char* name;
  Arm arm;
  Check check;
};

// Replaces every number of a reply with `number` (as text, so it may be out of any range).
std::string WithNumbers(const nlohmann::json& good, const std::string& number) {
  std::function<void(nlohmann::json&)> walk = [&](nlohmann::json& j) {
    if (j.is_number()) j = "\x01NUM\x01";
    if (j.is_structured())
      for (auto& child : j) walk(child);
  };
  nlohmann::json copy = good;
  walk(copy);
  std::string text = copy.dump();
  const std::string marker = "\"\\u0001NUM\\u0001\"";
  for (size_t pos = text.find(marker); pos != std::string::npos; pos = text.find(marker, pos + number.size()))
    text.replace(pos, marker.size(), number);
  return text;
}

// Gives every member the wrong kind: strings become numbers, numbers strings, arrays objects.
std::string WithWrongKinds(const nlohmann::json& good) {
  std::function<nlohmann::json(const nlohmann::json&)> flip = [&](const nlohmann::json& j) -> nlohmann::json {
    if (j.is_string()) return 7;
    if (j.is_number()) return "7";
    if (j.is_boolean()) return nullptr;
    if (!j.is_structured()) return j;
    nlohmann::json o = nlohmann::json::object();
    size_t i = 0;
    for (auto it = j.begin(); it != j.end(); ++it, ++i) {
      if (j.is_array()) o[std::to_string(i)] = flip(*it);
      if (j.is_object()) o[it.key()] = it->is_array() ? nlohmann::json("x") : flip(*it);
    }
    return o;
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

// A reply the library can still read may succeed; a failure must say why.
void Defined(const Operation& op, const Outcome& out) {
  EXPECT_TRUE(out.ok || !(out.code.empty() && out.message.empty())) << op.name << ": failure without a cause";
}
void Failed(const Operation& op, const Outcome& out) {
  EXPECT_FALSE(out.ok) << op.name;
  Defined(op, out);
}
// Failed, and the transport gives a cause that names `cause` (any cause when empty); only a
// session object can tell it.
Check FailedWith(const std::string& cause) {
  return [cause](const Operation& op, const Outcome& out) {
    Failed(op, out);
    if (!op.sessionObject) return;
    EXPECT_FALSE(out.transport.empty()) << op.name;
    EXPECT_NE(out.transport.find(cause), std::string::npos) << op.name << ": " << out.transport;
  };
}
void ClusterError(const Operation& op, const Outcome& out) {
  EXPECT_EQ(std::make_tuple(false, "AEC_SYSTEM_INTERNAL_ERROR", "fault suite"), std::tie(out.ok, out.code, out.message))
      << op.name;
}

// Arms the fault `make` gives for the operation's path, for every request of the operation.
using MakeFault = std::function<isim::Fault(const char* path)>;
Arm Always(MakeFault make) {
  return [make](isim::Server& server, const Operation& op, const std::string&) {
    server.faults().add(make(op.path).on(op.method).count(-1));
    return true;
  };
}
// The same, only for operations that pass `applies`.
Arm When(std::function<bool(const Operation&)> applies, MakeFault make) {
  return [applies, make](isim::Server& server, const Operation& op, const std::string& good) {
    return applies(op) && Always(make)(server, op, good);
  };
}
// Serves the operation's own good reply, rewritten by `mangle` (an empty text: not for this reply).
Arm Mangled(Mangle mangle) {
  return [mangle](isim::Server& server, const Operation& op, const std::string& good) {
    if (op.reply == kIgnored || good.empty()) return false;
    const nlohmann::json parsed = nlohmann::json::parse(good, nullptr, false);
    if (parsed.is_discarded()) return false;
    const std::string body = mangle(parsed);
    if (body.empty()) return false;
    server.faults().add(isim::Fault::replace(op.path, 200, body).on(op.method).count(-1));
    return true;
  };
}

// The good reply cut to `keep(length)` bytes: valid HTTP, but not one whole JSON value.
Mangle CutTo(std::function<size_t(size_t)> keep) {
  return [keep](const nlohmann::json& good) {
    const std::string text = good.dump();
    return text.substr(0, keep(text.size()));
  };
}

// Every element of an array of records replaced by a number; empty when the reply has none.
std::string WithEntriesNotRecords(const nlohmann::json& good) {
  bool changed = false;
  std::function<void(nlohmann::json&)> walk = [&](nlohmann::json& j) {
    if (j.is_array() && !j.empty() && j.front().is_object()) {
      for (auto& element : j) element = 1;
      changed = true;
    }
    if (j.is_structured())
      for (auto& child : j) walk(child);
  };
  nlohmann::json copy = good;
  walk(copy);
  return changed ? copy.dump() : std::string();
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
  using P = const char*;
  return {
      {"ErrorStatusWithClusterError",
       Always([](P p) { return F::error(p, 500, "AEC_SYSTEM_INTERNAL_ERROR", "fault suite"); }), ClusterError},
      {"ErrorStatusNotJson", Always([](P p) { return F::notJson(p, 502); }), Failed},
      {"SuccessStatusNotJson", When(ReadsReply, [](P p) { return F::notJson(p, 200); }), FailedUnlessLenient},
      {"TruncatedBody", Always([](P p) { return F::truncate(p, "{\"errors\":[{\"code\":\"AEC_", 4096); }), Failed},
      {"ClosedBeforeReply", Always([](P p) { return F::closeBeforeReply(p); }), FailedWith("")},
      {"ClosedMidReply", Always([](P p) { return F::closeMidReply(p); }), Failed},
      {"DelayPastRequestTimeout", Always([](P p) { return F::delay(p, 2500); }), FailedWith("timed out")},
      {"HugeReply", Always([](P p) { return F::hugeBody(p, 3u << 20, "{\"x\":\""); }), FailedWith("limit")},
      {"RepeatedResumeToken", When(Pages, [](P p) { return F::repeatResume(p); }), FailedUnlessFoundFirst},
      {"NegativeNumbers", Mangled([](J j) { return WithNumbers(j, "-5"); }), Defined},
      {"FractionalNumbers", Mangled([](J j) { return WithNumbers(j, "2.75"); }), Defined},
      {"NumbersBeyond2To64", Mangled([](J j) { return WithNumbers(j, "36893488147419103232"); }), Defined},
      {"NumbersBeyondLongDouble", Mangled([](J j) { return WithNumbers(j, "1e5000"); }), Defined},
      {"MembersOfTheWrongKind", Mangled(WithWrongKinds), Defined},
      {"DeepNesting", Mangled(WithDeepNesting), Defined},
      // A reply read whole or not at all: a readable part of one is no success.
      {"CutInTheMiddle", Mangled(CutTo([](size_t n) { return n / 2; })), Failed},
      {"CutBeforeTheLastByte", Mangled(CutTo([](size_t n) { return n - 1; })), Failed},
      {"TextAfterTheReply", Mangled([](J j) { return j.dump() + "x"; }), Failed},
      {"EntriesThatAreNotRecords", Mangled(WithEntriesNotRecords), Failed},
  };
}

// ---- Operations ---------------------------------------------------------------------------

const char kShares[] = "/platform/1/protocols/smb/shares";
const char kExports[] = "/platform/1/protocols/nfs/exports";
const char kSnapshots[] = "/platform/1/snapshot/snapshots";

void Nothing(ManageIsilon&) {}
std::function<void(ManageIsilon&)> Share(const std::string& name) {
  return [name](ManageIsilon& s) { s.CreateCIFSShare(name, "/ifs/data", "", "System"); };
}
std::function<void(ManageIsilon&)> Snapshots(std::vector<std::string> names) {
  return [names](ManageIsilon& s) {
    int id = 0;
    for (const std::string& name : names) s.CreateSnapshot("/ifs/data", name, id);
  };
}
bool CreateExport(ManageIsilon& s, unsigned int& id, const std::string& path) {
  return s.CreateNFSExport(id, {path}, _IsilonNFSPermissions(), "", "", /*readOnly=*/false, /*allDirs=*/false);
}

std::vector<Operation> Operations() {
  using S = ManageIsilon&;
  return {
      {"OpenConnection", "POST", "/session/1/session", kOnePage, kIgnored, Nothing,
       [](S s) { return s.OpenConnection(); }},
      // SMB shares and zones
      {"CreateCIFSShare", "POST", kShares, kOnePage, kIgnored, Nothing,
       [](S s) { return s.CreateCIFSShare("faultshare", "/ifs/data", "", "System"); }},
      {"DeleteCIFSShare", "DELETE", kShares, kOnePage, kIgnored, Share("faultdel"),
       [](S s) { return s.DeleteCIFSShare("faultdel", "/ifs/data", "System"); }},
      {"GetCIFSSharesList", "GET", kShares, kAllPages, kRead, Share("faultlist"),
       With<std::vector<_IsilonShareInfo>>([](S s, auto& v) { return s.GetCIFSSharesList(v, "", "", "System"); })},
      {"GetFSPathForShare", "GET", kShares, kUntilFound, kRead, Share("faultpath"),
       With<std::pair<std::string, _IsilonShareInfo>>(
           [](S s, auto& o) { return s.GetFSPathForShare("faultpath", o.first, o.second, "System"); })},
      {"GetAccessZonesList", "GET", "/platform/3/zones", kOnePage, kRead, Nothing,
       With<std::vector<_IsilonAccessZoneInfo>>([](S s, auto& v) { return s.GetAccessZonesList(v); })},
      {"GetAllCIFSSharesList", "GET", kShares, kAllPages, kRead, Nothing,
       With<std::vector<_IsilonShareInfo>>([](S s, auto& v) { return s.GetAllCIFSSharesList(v); })},
      {"SetSMBACLs", "PUT", "/platform/3/protocols/smb/shares/", kOnePage, kIgnored, Share("faultacl"),
       [](S s) { return s.SetSMBACLs(_IsilonSMBACLs(), "faultacl", "System"); }},
      // NFS exports
      {"CreateNFSExport", "POST", kExports, kOnePage, kRead, Nothing,
       With<unsigned int>([](S s, auto& id) { return CreateExport(s, id, "/ifs/data/nfs-fault"); })},
      {"DeleteNFSExport", "DELETE", kExports, kOnePage, kIgnored, Nothing,
       [](S s) { return s.DeleteNFSExport(1, ""); }},
      {"GetNFSExportList", "GET", kExports, kAllPages, kRead,
       [](S s) { With<unsigned int>([](S s, auto& id) { return CreateExport(s, id, "/ifs/data/nfs-list"); })(s); },
       With<std::vector<_IsilonNFSExportInfo>>([](S s, auto& v) { return s.GetNFSExportList(v, 0, "", ""); })},
      // Namespace and cluster
      {"GetFileList", "GET", "/namespace/ifs", kOnePage, kRead, Nothing,
       With<std::pair<std::vector<_IsilonFileInfo>, std::string>>(
           [](S s, auto& o) { return s.GetFileList(o.first, "/ifs/data", o.second, 100); })},
      {"GetPathAttributes", "GET", "/namespace/ifs", kOnePage, kRead, Nothing,
       With<_IsilonFileInfo>([](S s, auto& info) { return s.GetPathAttributes(info, "/ifs/data"); })},
      {"CopyFileOrDirectory", "PUT", "/namespace/ifs", kOnePage, kIgnored, Nothing,
       [](S s) {
         return s.CopyFileOrDirectory("/ifs/data/projects/plan.txt", "/ifs/data/fault-copy.txt", /*overwrite=*/true);
       }},
      {"GetExternalIPs", "GET", "/platform/1/cluster/external-ips", kOnePage, kRead, Nothing,
       With<std::vector<std::string>>([](S s, auto& ips) { return s.GetExternalIPs(ips); })},
      {"GetVersionInfo", "GET", "/platform/3/cluster/version", kOnePage, kRead, Nothing,
       With<std::vector<_IsilonVersionInfo>>([](S s, auto& v) { return s.GetVersionInfo(v); })},
      // Snapshots and change lists
      // Each run starts without the snapshot: a cut-off create is settled by reading it by name.
      {"CreateSnapshot", "POST", kSnapshots, kOnePage, kIgnored,
       [](ManageIsilon& s) { s.DeleteSnapshot("/ifs/data", "fault-snap", /*id=*/0); },
       With<int>([](S s, auto& id) { return s.CreateSnapshot("/ifs/data", "fault-snap", id); })},
      {"DeleteSnapshot", "DELETE", kSnapshots, kOnePage, kIgnored, Nothing,
       [](S s) { return s.DeleteSnapshot("/ifs/data", "fault-gone", 0); }},
      {"GetSnapshotList", "GET", kSnapshots, kAllPages, kRead, Snapshots({"fault-listed"}),
       With<std::vector<_IsilonSnapInfo>>([](S s, auto& v) { return s.GetSnapshotList(v, "", ""); })},
      {"CreateSnapshotChangeList", "POST", "/platform/3/job/jobs", kOnePage, kRead,
       Snapshots({"fault-cl-a", "fault-cl-b"}),
       [](S s) {
         std::vector<_IsilonSnapInfo> snaps;
         s.GetSnapshotList(snaps, "", "");
         unsigned long long older = snaps.size() > 1 ? snaps[snaps.size() - 2].nId : 1;
         unsigned long long newer = snaps.size() > 1 ? snaps.back().nId : 2;
         return Outcome(s.CreateSnapshotChangeList(older, newer, /*wait=*/true));
       }},
      {"GetSnapshotChangeList", "GET", "/platform/3/snapshot/changelists/", kOnePage, kRead, Nothing,
       [](S s) {
         unsigned long long older = 1, newer = 2;
         _IsilonChangeListInfo info;
         return s.GetSnapshotChangeList(older, newer, info);
       }},
      {"GetChangeListJobInfo", "GET", "/platform/3/job/types/ChangelistCreate", kOnePage, kRead, Nothing,
       With<_ChangeListCreateJobInfo>([](S s, auto& info) { return s.GetChangeListJobInfo(info); })},
      {"SetChangeListJobInfo", "PUT", "/platform/3/job/types/ChangelistCreate", kOnePage, kIgnored, Nothing,
       [](S s) { return s.SetChangeListJobInfo(_ChangeListCreateJobInfo()); }},
      // SyncIQ
      {"GetSyncIQPolicy", "GET", "/platform/1/sync/policies", kAllPages, kRead, Nothing,
       With<std::vector<_IsilonSyncIQPolicyInfo>>([](S s, auto& v) { return s.GetSyncIQPolicy(v, "", ""); })},
      {"ModifySyncIQPolicy", "PUT", "/platform/1/sync/policies/", kOnePage, kIgnored, Nothing,
       [](S s) {
         return s.ModifySyncIQPolicy("fault-policy-id", {{SYNCIQ_PROPERTY_ENABLED, "true"}});
       }},
      {"StartSyncIQJob", "POST", "/platform/1/sync/jobs", kOnePage, kRead, Nothing,
       With<unsigned int>([](S s, auto& id) { return s.StartSyncIQJob("fault-policy", "fault-snapshot", id); })},
      {"GetSyncIQJobInfo", "GET", "/platform/1/sync/jobs", kUntilFound, kRead, Nothing,
       With<_IsilonSyncIQJobInfo>(
           [](S s, auto& job) { return s.GetSyncIQJobInfo(job, "fault-policy", SYNCIQ_JOB_STATE_NONE); })},
      {"GetSyncIQJobReport", "GET", "/platform/1/sync/reports", kUntilFound, kRead, Nothing,
       With<_IsilonSyncIQJobReportInfo>([](S s, auto& report) {
         return s.GetSyncIQJobReport(report, 1, "fault-policy", SYNCIQ_JOB_STATE_FINISHED);
       })},
  };
}

// The exported functions make their own session; they fill the cause themselves.
std::vector<Operation> ExportedFunctions(const std::string& user, const std::string& password) {
  using Call = std::function<bool(const std::string&, const std::string&, std::string& code, std::string& message)>;
  auto exported = [&](const char* name, const char* method, const char* path, Reply reply, Call call) {
    const Runner run = [=](ManageIsilon&) {
      Outcome out;
      out.ok = call(user, password, out.code, out.message);
      return out;
    };
    return Operation{name, method, path, kOnePage, reply, Nothing, run, /*sessionObject=*/false};
  };
  using S = const std::string&;
  using O = std::string&;
  static const char kPath[] = "/ifs/data/nfs-exported", kShare[] = "faultexported";
  return {
      exported("CreateShareIsilon", "POST", kShares, kIgnored,
               [](S u, S p, O c, O m) { return CreateShareIsilon(0, kAddress, u, p, "/ifs/data", kShare, c, m); }),
      exported("DeleteShareIsilon", "DELETE", kShares, kIgnored,
               [](S u, S p, O c, O m) { return DeleteShareIsilon(0, kAddress, u, p, kShare, "/ifs/data", c, m); }),
      exported("CreateNfsExportIsilon", "POST", kExports, kIgnored,
               [](S u, S p, O c, O m) { return CreateNfsExportIsilon(0, kAddress, u, p, "", kPath, "", c, m); }),
      exported("DeleteNfsExportIsilon", "GET", kExports, kRead,
               [](S u, S p, O c, O m) { return DeleteNfsExportIsilon(0, kAddress, u, p, "", kPath, c, m); }),
  };
}

class FaultSuite : public SimSessionFixture {
 protected:
  FaultSuite() : SimSessionFixture(kAddress) {
    simConfig().demo = true;
    simConfig().users = {{"admin", "Fault-Suite-Pa55word"}};
    std::signal(SIGPIPE, SIG_IGN);  // the client hangs up mid-reply on purpose; that must not end the process
  }
  std::string RegistryText() const override {
    return SimSessionFixture::RegistryText() +
           "nIsilonConnectTimeout = 2\nnIsilonRequestTimeout = 1\nnIsilonMaxReplyMiB = 1\n"
           "[~Tarvex]\nnIsilonSyncIQJobStatusRetryCount = 1\nnIsilonSyncIQJobWaitLimit = 1\n"
           "IsilonChangeListGenerationWaitTime = 1\n";
  }
  void TearDown() override {
    // Whatever went wrong, the password never reached the log in clear.
    EXPECT_TRUE(HasFatalFailure() || log_.All().find(password()) == std::string::npos);
    SimSessionFixture::TearDown();
  }

  std::unique_ptr<ManageIsilon> NewSession() {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon());
    session->SetFileServer(address());
    session->SetUser(user());
    session->SetPasswd(password());
    return session;
  }

  // The reply the operation's last request gets from a healthy cluster, fetched directly.
  std::string GoodReply(const Operation& op) {
    const std::vector<isim::LoggedRequest> sent = Sent(op.method, op.path);
    std::string reply;
    std::unique_ptr<ManageIsilon> session = NewSession();
    const bool got =
        std::string(op.method) == "GET" && !sent.empty() && session->OpenConnection() &&
        session->SendRequest(reply, ManageIsilon::kGet, Url(sent.back().target), "", /*resetHeaders=*/true);
    return got ? reply : std::string();
  }

  void RunTable(const std::vector<Operation>& ops) {
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<FaultRow> faults = Faults();
    for (const Operation& op : ops) {
      server().faults().clear();
      server().requestLog().clear();
      op.prepare(*NewSession());
      op.run(*NewSession());  // a healthy run, for the reply that the mangling faults start from
      const std::string good = GoodReply(op);
      for (const FaultRow& fault : faults) {
        SCOPED_TRACE(std::string(op.name) + " / " + fault.name);
        server().faults().clear();
        std::unique_ptr<ManageIsilon> session = NewSession();
        op.prepare(*session);
        ASSERT_TRUE(std::string(op.path) == "/session/1/session" || session->OpenConnection());
        if (!fault.arm(server(), op, good)) continue;
        Outcome out = op.run(*session);
        if (op.sessionObject) {
          session->GetLastError(out.code, out.message);
          out.transport = session->GetLastTransportError();
        }
        server().faults().clear();
        fault.check(op, out);
      }
    }
  }

  ScopedLogCapture log_{7};
};

TEST_F(FaultSuite, EveryOperationUnderEveryFault) { RunTable(Operations()); }

TEST_F(FaultSuite, EveryExportedFunctionUnderEveryFault) { RunTable(ExportedFunctions(user(), password())); }

}  // namespace
