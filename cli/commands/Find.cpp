// isilonctl find and du: a whole directory tree read with several sessions at once.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "cli/Interrupt.h"
#include "cli/Runtime.h"
#include "host/Password.h"
#include "isilon/IsilonTreeWalk.h"

namespace {

using nlohmann::json;

struct TreeOptions {
  std::string path;
  int parallel = 8;
  std::string type;  // "f", "d" or empty (both)
};

// The walk opens one session per worker, so it needs the password once per session: it is
// read here once and handed to the runtime, whose session checks the login first.
std::unique_ptr<IsilonTreeWalk> MakeWalk(ctl::Runtime& rt) {
  if (!rt.Resolve()) return nullptr;
  const ctl::GlobalOptions o = rt.options;
  std::string password;
  if (o.encryptedPassword.empty() && !o.server.empty() && !o.user.empty()) {
    if (!rt.ReadPassword(password)) {
      if (ctl::Interrupted() != 0) {
        rt.Interrupt();
      } else {
        rt.Usage(
            "no password: give it on a terminal, with --password-stdin, --encrypted-password, "
            "ISILON_PASSWORD_FILE or a profile");
      }
      return nullptr;
    }
    rt.UsePassword(password);
  }
  ManageIsilon* first = rt.Session();
  rt.UsePassword(std::string());
  if (first == nullptr) return nullptr;

  const IsilonSessionOptions sessionOptions = rt.SessionOptions();
  auto factory = [o, password, sessionOptions]() -> std::unique_ptr<ManageIsilon> {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon());
    session->SetSessionOptions(sessionOptions);
    session->SetFileServer(o.server);
    session->SetUser(o.user);
    if (o.encryptedPassword.empty()) {
      session->SetPasswd(password);
    } else if (!o.keyFile.empty()) {
      char buffer[QuorPassword::kBufferSize] = {};
      int length = sizeof buffer;
      const bool ok = QuorPassword::decryptWithKeyFile(o.keyFile, o.encryptedPassword.c_str(), buffer, &length) != 0;
      if (ok) session->SetPasswd(std::string(buffer));
      std::memset(buffer, 0, sizeof buffer);
      if (!ok) return nullptr;
    } else if (!session->SetPasswd(o.encryptedPassword, /*encrypted=*/true)) {
      return nullptr;
    }
    return session;
  };
  std::fill(password.begin(), password.end(), '\0');
  return std::unique_ptr<IsilonTreeWalk>(new IsilonTreeWalk(factory));
}

json EntryJson(const _IsilonFileInfo& f) {
  return {{"name", f.strName},   {"path", f.strPath}, {"type", f.strType}, {"mode", f.strMode},
          {"owner", f.strOwner}, {"size", f.nSize},   {"mtime", f.nMtime}};
}

// "Walked 12345 entries in 67 directories, 8901 entries/s"
class ProgressLine {
 public:
  explicit ProgressLine(const ctl::Runtime& rt) : rt_(rt), start_(Clock::now()), shown_(start_) {}
  void Update(const IsilonTreeWalk& walk, bool force = false) {
    const Clock::time_point now = Clock::now();
    if (!force && now - shown_ < std::chrono::milliseconds(200)) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(walk.Entries()) / seconds : 0;
    rt_.Progress("Walked " + std::to_string(walk.Entries()) + " entries in " + std::to_string(walk.Directories()) +
                 " directories, " + std::to_string(static_cast<unsigned long long>(rate)) + " entries/s");
  }

 private:
  using Clock = std::chrono::steady_clock;
  const ctl::Runtime& rt_;
  Clock::time_point start_, shown_;
};

json FailureJson(const IsilonTreeWalkFailure& f) {
  return {{"path", f.strPath}, {"code", f.strCode}, {"message", f.strMessage}, {"cause", f.strCause}};
}

// Runs the walk; failures are printed on standard error as they come (and kept for --json).
bool Walk(ctl::Runtime& rt, IsilonTreeWalk& walk, const TreeOptions& options, json& failures,
          const IsilonTreeWalk::PageCallback& page) {
  walk.SetParallel(options.parallel);
  ProgressLine progress(rt);
  // A signal stops the walk at its next page: what is read so far is printed, no new page is
  // asked for, and the walk's sessions end as it returns.
  walk.OnPage([&](const std::string& dir, std::vector<_IsilonFileInfo>& entries) {
    if (ctl::Interrupted() != 0) return false;
    const bool more = page(dir, entries);
    progress.Update(walk);
    return more && ctl::Interrupted() == 0;
  });
  walk.OnFailure([&](const IsilonTreeWalkFailure& f) {
    // After a signal the requests still due are refused unsent: that is no failure of the tree.
    if (ctl::Interrupted() != 0) return;
    rt.EndProgress();
    std::cerr << "isilonctl: cannot read " << f.strPath << ": [" << f.strCode << "] " << f.strMessage;
    if (!f.strCause.empty()) std::cerr << " (" << f.strCause << ")";
    std::cerr << "\n";
    failures.push_back(FailureJson(f));
  });
  const bool complete = walk.Run(options.path);
  rt.EndProgress();
  if (ctl::Interrupted() != 0) {
    rt.exitCode = ctl::InterruptExitCode();
  } else if (!complete) {
    // Done in part only when some of the tree was read; a top that is not there is not found.
    const bool some = walk.Entries() > 0 || walk.Directories() > 0;
    const bool noTop = failures.size() == 1 && failures[0]["code"] == "AEC_NOT_FOUND";
    rt.exitCode = some && !failures.empty() ? ctl::kExitPartial : noTop ? ctl::kExitNotFound : ctl::kExitFailed;
  }
  return complete;
}

void AddTreeOptions(CLI::App* cmd, TreeOptions& options) {
  cmd->add_option("PATH", options.path, "Cluster directory at the top of the walk, e.g. /ifs/data")->required();
  cmd->add_option("--parallel", options.parallel, "Sessions reading directories at once (1 to 64)")
      ->check(CLI::Range(1, IsilonTreeWalk::kMaxParallel))
      ->capture_default_str();
}

void InstallFind(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("find", "List every entry below a directory, reading several at once");
  static TreeOptions options;
  AddTreeOptions(cmd, options);
  cmd->add_option("--type", options.type, "Only files (f) or only directories (d)")->check(CLI::IsMember({"f", "d"}));
  cmd->add_flag("--print0", ctl::Out().print0, "End each path with a NUL byte, not a newline (for xargs -0)");
  cmd->callback([&rt]() {
    std::unique_ptr<IsilonTreeWalk> walk = MakeWalk(rt);
    if (!walk) return;
    const bool ndjson = ctl::Out().format == ctl::OutputFormat::kNdjson;
    const bool json = rt.options.json && !ndjson;
    const char end = ctl::Out().print0 ? '\0' : '\n';
    unsigned long long count = 0;
    if (json)
      std::cout << "{\n  \"ok\": true,\n  \"path\": " << nlohmann::json(options.path).dump() << ",\n  \"entries\": [";
    nlohmann::json failures = nlohmann::json::array();
    const bool complete =
        Walk(rt, *walk, options, failures, [&](const std::string&, std::vector<_IsilonFileInfo>& entries) {
          for (const _IsilonFileInfo& f : entries) {
            const bool directory = f.strType == "container";
            if ((options.type == "f" && directory) || (options.type == "d" && !directory)) continue;
            if (ndjson) {
              std::cout << EntryJson(f).dump() << '\n';
            } else if (json) {
              std::cout << (count == 0 ? "\n    " : ",\n    ") << EntryJson(f).dump();
            } else {
              std::cout << f.strPath << end;
            }
            ++count;
          }
          // Each page is out as soon as it is read.
          std::cout.flush();
          return true;
        });
    const bool interrupted = ctl::Interrupted() != 0;
    if (json) {
      std::cout << (count == 0 ? "" : "\n  ") << "],\n  \"count\": " << count
                << ",\n  \"directories\": " << walk->Directories() << ",\n  \"failures\": " << failures.dump()
                << ",\n  \"complete\": " << (complete ? "true" : "false")
                << ",\n  \"interrupted\": " << (interrupted ? "true" : "false") << ",\n  \"exit\": " << rt.exitCode
                << "\n}" << std::endl;
    } else {
      std::cout.flush();
    }
    if (interrupted && !json) {
      std::cerr << "isilonctl: find " << ctl::InterruptText() << " after " << ctl::Count(count, "entry", "entries")
                << " in " << ctl::Count(walk->Directories(), "directory", "directories") << std::endl;
    }
  });
}

void InstallDu(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("du", "Total size, files and directories below a directory");
  static TreeOptions options;
  AddTreeOptions(cmd, options);
  cmd->callback([&rt]() {
    std::unique_ptr<IsilonTreeWalk> walk = MakeWalk(rt);
    if (!walk) return;
    unsigned long long bytes = 0, files = 0, directories = 0;
    nlohmann::json failures = nlohmann::json::array();
    const bool complete =
        Walk(rt, *walk, options, failures, [&](const std::string&, std::vector<_IsilonFileInfo>& entries) {
          for (const _IsilonFileInfo& f : entries) {
            if (f.strType == "container") {
              ++directories;
            } else {
              ++files;
              bytes += f.nSize;
            }
          }
          return true;
        });
    const bool interrupted = ctl::Interrupted() != 0;
    rt.PrintResult({{"ok", true},
                    {"path", options.path},
                    {"bytes", bytes},
                    {"files", files},
                    {"directories", directories},
                    {"failures", failures},
                    {"complete", complete},
                    {"interrupted", interrupted}},
                   (ctl::Out().human ? ctl::HumanSize(bytes) : std::to_string(bytes) + " bytes") + " in " +
                       std::to_string(files) + " files and " + std::to_string(directories) + " directories below " +
                       options.path +
                       (interrupted ? " (" + ctl::InterruptText() + " before the end)"
                        : complete  ? ""
                                    : " (incomplete)"));
  });
}

}  // namespace

ISILONCTL_COMMAND(find) {
  InstallFind(app, rt);
  InstallDu(app, rt);
}
