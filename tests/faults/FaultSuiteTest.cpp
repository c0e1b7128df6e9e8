// Every operation (Operations()) under every fault (Faults()), through the real transport against
// the simulator: whatever the server does, an operation ends in a failure with a readable cause
// (or, for a reply it can still read, a defined success), never crashes and never hangs past the
// configured time-outs.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "isilon/ManageIsilon.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimSessionFixture.h"

namespace {

const char kAddress[] = "127.0.0.80";

// What an operation left behind (the cause is filled in from the session object).
struct Outcome {
  explicit Outcome(bool succeeded = false) : ok(succeeded) {}
  bool ok;
  std::string code, message, transport;
};

bool Ok(bool ok) { return ok; }
bool Ok(const CZemError& error) { return !error.IsError(); }
template <typename T, typename Call>
Outcome With(Call call) {
  T out{};
  return Outcome{Ok(call(out))};
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

// Replaces every number of a reply with `number` (as text, so it may be out of any range).
std::string WithNumbers(const nlohmann::json& good, const std::string& number) {
  std::function<void(nlohmann::json&)> walk = [&](nlohmann::json& j) {
    for (auto& child : j) {
      if (child.is_number()) child = "\x01NUM\x01";
      if (child.is_structured()) walk(child);
    }
  };
  nlohmann::json copy = good;
  if (copy.is_structured()) walk(copy);
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

// What must hold after a fault, beyond "no crash, no hang".
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

// Arms the fault `make` gives for the operation's path, for every request of the operation.
using MakeFault = std::function<isim::Fault(const char* path)>;
std::function<bool(isim::Server&, const Operation&, const std::string&)> Always(MakeFault make) {
  return [make](isim::Server& server, const Operation& op, const std::string&) {
    server.faults().add(make(op.path).on(op.method).count(-1));
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

// With<T>: the call gets a fresh T to fill (a list, a record, an id).
std::vector<Operation> Operations() {
  using S = ManageIsilon&;
  return {
      {"OpenConnection", "POST", "/session/1/session", kOnePage, kIgnored, Nothing,
       [](S s) { return Outcome{s.OpenConnection()}; }},
      // SMB shares and zones
      {"CreateCIFSShare", "POST", kShares, kOnePage, kIgnored, Nothing,
       [](S s) { return Outcome{s.CreateCIFSShare("faultshare", "/ifs/data", "", "System")}; }},
      {"DeleteCIFSShare", "DELETE", kShares, kOnePage, kIgnored, Share("faultdel"),
       [](S s) { return Outcome{s.DeleteCIFSShare("faultdel", "/ifs/data", "System")}; }},
      {"GetCIFSSharesList", "GET", kShares, kAllPages, kRead, Share("faultlist"),
       [](S s) {
         return With<std::vector<_IsilonShareInfo>>([&](auto& v) { return s.GetCIFSSharesList(v, "", "", "System"); });
       }},
      {"GetFSPathForShare", "GET", kShares, kUntilFound, kRead, Share("faultpath"),
       [](S s) {
         return With<_IsilonShareInfo>([&](auto& info) {
           std::string path;
           return s.GetFSPathForShare("faultpath", path, info, "System");
         });
       }},
      {"GetAccessZonesList", "GET", "/platform/3/zones", kOnePage, kRead, Nothing,
       [](S s) { return With<std::vector<_IsilonAccessZoneInfo>>([&](auto& v) { return s.GetAccessZonesList(v); }); }},
      {"GetAllCIFSSharesList", "GET", kShares, kAllPages, kRead, Nothing,
       [](S s) { return With<std::vector<_IsilonShareInfo>>([&](auto& v) { return s.GetAllCIFSSharesList(v); }); }},
      {"SetSMBACLs", "PUT", "/platform/3/protocols/smb/shares/", kOnePage, kIgnored, Share("faultacl"),
       [](S s) { return Outcome{s.SetSMBACLs(_IsilonSMBACLs(), "faultacl", "System")}; }},
      // NFS exports
      {"CreateNFSExport", "POST", kExports, kOnePage, kRead, Nothing,
       [](S s) { return With<unsigned int>([&](auto& id) { return CreateExport(s, id, "/ifs/data/nfs-fault"); }); }},
      {"DeleteNFSExport", "DELETE", kExports, kOnePage, kIgnored, Nothing,
       [](S s) { return Outcome{s.DeleteNFSExport(1, "")}; }},
      {"GetNFSExportList", "GET", kExports, kAllPages, kRead,
       [](S s) { With<unsigned int>([&](auto& id) { return CreateExport(s, id, "/ifs/data/nfs-list"); }); },
       [](S s) {
         return With<std::vector<_IsilonNFSExportInfo>>([&](auto& v) { return s.GetNFSExportList(v, 0, "", ""); });
       }},
      // Namespace and cluster
      {"GetFileList", "GET", "/namespace/ifs", kOnePage, kRead, Nothing,
       [](S s) {
         return With<std::vector<_IsilonFileInfo>>([&](auto& v) {
           std::string resume;
           return s.GetFileList(v, "/ifs/data", resume, 100);
         });
       }},
      {"GetPathAttributes", "GET", "/namespace/ifs", kOnePage, kRead, Nothing,
       [](S s) { return With<_IsilonFileInfo>([&](auto& info) { return s.GetPathAttributes(info, "/ifs/data"); }); }},
      {"CopyFileOrDirectory", "PUT", "/namespace/ifs", kOnePage, kIgnored, Nothing,
       [](S s) {
         return Outcome{
             s.CopyFileOrDirectory("/ifs/data/projects/plan.txt", "/ifs/data/fault-copy.txt", /*overwrite=*/true)};
       }},
      {"GetExternalIPs", "GET", "/platform/1/cluster/external-ips", kOnePage, kLenient, Nothing,
       [](S s) { return With<std::vector<std::string>>([&](auto& ips) { return s.GetExternalIPs(ips); }); }},
      {"GetVersionInfo", "GET", "/platform/3/cluster/version", kOnePage, kRead, Nothing,
       [](S s) { return With<std::vector<_IsilonVersionInfo>>([&](auto& v) { return s.GetVersionInfo(v); }); }},
      // Snapshots and change lists
      {"CreateSnapshot", "POST", kSnapshots, kOnePage, kIgnored, Nothing,
       [](S s) { return With<int>([&](auto& id) { return s.CreateSnapshot("/ifs/data", "fault-snap", id); }); }},
      {"DeleteSnapshot", "DELETE", kSnapshots, kOnePage, kIgnored, Nothing,
       [](S s) { return Outcome{s.DeleteSnapshot("/ifs/data", "fault-gone", 0)}; }},
      {"GetSnapshotList", "GET", kSnapshots, kAllPages, kRead, Snapshots({"fault-listed"}),
       [](S s) { return With<std::vector<_IsilonSnapInfo>>([&](auto& v) { return s.GetSnapshotList(v, "", ""); }); }},
      {"CreateSnapshotChangeList", "POST", "/platform/3/job/jobs", kOnePage, kRead,
       Snapshots({"fault-cl-a", "fault-cl-b"}),
       [](S s) {
         std::vector<_IsilonSnapInfo> snaps;
         s.GetSnapshotList(snaps, "", "");
         unsigned long long older = snaps.size() > 1 ? snaps[snaps.size() - 2].nId : 1;
         unsigned long long newer = snaps.size() > 1 ? snaps.back().nId : 2;
         return Outcome{Ok(s.CreateSnapshotChangeList(older, newer, /*wait=*/true))};
       }},
      {"GetSnapshotChangeList", "GET", "/platform/3/snapshot/changelists/", kOnePage, kRead, Nothing,
       [](S s) {
         unsigned long long older = 1, newer = 2;
         return With<_IsilonChangeListInfo>([&](auto& info) { return s.GetSnapshotChangeList(older, newer, info); });
       }},
      {"GetChangeListJobInfo", "GET", "/platform/3/job/types/ChangelistCreate", kOnePage, kRead, Nothing,
       [](S s) { return With<_ChangeListCreateJobInfo>([&](auto& info) { return s.GetChangeListJobInfo(info); }); }},
      {"SetChangeListJobInfo", "PUT", "/platform/3/job/types/ChangelistCreate", kOnePage, kIgnored, Nothing,
       [](S s) { return Outcome{Ok(s.SetChangeListJobInfo(_ChangeListCreateJobInfo()))}; }},
      // SyncIQ
      {"GetSyncIQPolicy", "GET", "/platform/1/sync/policies", kAllPages, kRead, Nothing,
       [](S s) {
         return With<std::vector<_IsilonSyncIQPolicyInfo>>([&](auto& v) { return s.GetSyncIQPolicy(v, "", ""); });
       }},
      {"ModifySyncIQPolicy", "PUT", "/platform/1/sync/policies/", kOnePage, kIgnored, Nothing,
       [](S s) {
         return Outcome{s.ModifySyncIQPolicy("fault-policy-id", {{SYNCIQ_PROPERTY_ENABLED, "true"}})};
       }},
      {"StartSyncIQJob", "POST", "/platform/1/sync/jobs", kOnePage, kRead, Nothing,
       [](S s) {
         return With<unsigned int>([&](auto& id) { return s.StartSyncIQJob("fault-policy", "fault-snapshot", id); });
       }},
      {"GetSyncIQJobInfo", "GET", "/platform/1/sync/jobs", kUntilFound, kRead, Nothing,
       [](S s) {
         return With<_IsilonSyncIQJobInfo>(
             [&](auto& job) { return s.GetSyncIQJobInfo(job, "fault-policy", SYNCIQ_JOB_STATE_NONE); });
       }},
      {"GetSyncIQJobReport", "GET", "/platform/1/sync/reports", kUntilFound, kRead, Nothing,
       [](S s) {
         return With<_IsilonSyncIQJobReportInfo>(
             [&](auto& report) { return s.GetSyncIQJobReport(report, 1, "fault-policy", SYNCIQ_JOB_STATE_FINISHED); });
       }},
  };
}

// The exported functions make their own session; they fill the cause themselves.
std::vector<Operation> ExportedFunctions(const std::string& user, const std::string& password) {
  using Call = std::function<bool(const std::string& user, const std::string& password, std::string& code,
                                  std::string& message)>;
  auto exported = [&](const char* name, const char* method, const char* path, Reply reply, Call call) {
    Operation op{name, method, path, kOnePage, reply, Nothing, [=](ManageIsilon&) {
                   Outcome out;
                   out.ok = call(user, password, out.code, out.message);
                   return out;
                 }};
    op.sessionObject = false;
    return op;
  };
  using S = const std::string&;
  using O = std::string&;
  return {
      exported(
          "CreateShareIsilon", "POST", kShares, kIgnored,
          [](S u, S p, O c, O m) { return CreateShareIsilon(0, kAddress, u, p, "/ifs/data", "faultexported", c, m); }),
      exported(
          "DeleteShareIsilon", "DELETE", kShares, kIgnored,
          [](S u, S p, O c, O m) { return DeleteShareIsilon(0, kAddress, u, p, "faultexported", "/ifs/data", c, m); }),
      exported("CreateNfsExportIsilon", "POST", kExports, kIgnored,
               [](S u, S p, O c, O m) {
                 return CreateNfsExportIsilon(0, kAddress, u, p, "", "/ifs/data/nfs-exported", "", c, m);
               }),
      exported("DeleteNfsExportIsilon", "GET", kExports, kRead,
               [](S u, S p, O c, O m) {
                 return DeleteNfsExportIsilon(0, kAddress, u, p, "", "/ifs/data/nfs-exported", c, m);
               }),
  };
}

isim::Config FaultConfig() {
  isim::Config config;
  config.demo = true;
  config.users = {{"admin", "Fault-Suite-Pa55word"}};
  return config;
}

class FaultSuite : public SimSessionFixture {
 protected:
  // The client hangs up on the server mid-reply on purpose; that must not end the process.
  FaultSuite() : SimSessionFixture(kAddress, FaultConfig()) { std::signal(SIGPIPE, SIG_IGN); }
  std::string RegistryText() const override {
    return SimSessionFixture::RegistryText() +
           "nIsilonConnectTimeout = 2\nnIsilonRequestTimeout = 1\nnIsilonMaxReplyMiB = 1\n"
           "[~Tarvex]\nnIsilonSyncIQJobStatusRetryCount = 1\nnIsilonSyncIQJobWaitLimit = 1\n"
           "IsilonChangeListGenerationWaitTime = 1\n";
  }
  void TearDown() override {
    // Whatever went wrong, the password never reached the log in clear.
    if (!HasFatalFailure()) {
      EXPECT_EQ(log_.All().find(password()), std::string::npos);
    }
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
    if (std::string(op.method) != "GET" || sent.empty() || !session->OpenConnection()) return reply;
    return session->SendRequest(reply, ManageIsilon::kGet, Url(sent.back().target), "", /*resetHeaders=*/true)
               ? reply
               : std::string();
  }

  Outcome Run(const Operation& op, ManageIsilon& session) {
    Outcome out = op.run(session);
    if (op.sessionObject) {
      session.GetLastError(out.code, out.message);
      out.transport = session.GetLastTransportError();
    }
    return out;
  }

  void RunTable(const std::vector<Operation>& ops) {
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<FaultRow> faults = Faults();
    for (const Operation& op : ops) {
      server().faults().clear();
      server().requestLog().clear();
      {
        std::unique_ptr<ManageIsilon> session = NewSession();
        op.prepare(*session);
        op.run(*session);  // a healthy run, for the reply that the mangling faults start from
      }
      const std::string good = GoodReply(op);
      for (const FaultRow& fault : faults) {
        SCOPED_TRACE(std::string(op.name) + " / " + fault.name);
        server().faults().clear();
        std::unique_ptr<ManageIsilon> session = NewSession();
        op.prepare(*session);
        if (std::string(op.path) != "/session/1/session") {
          ASSERT_TRUE(session->OpenConnection());
        }
        if (!fault.arm(server(), op, good)) continue;
        const Outcome out = Run(op, *session);
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
