// isilonctl ls, stat and copy: the cluster's file system through its namespace interface.
#include <cstdio>
#include <ctime>
#include <iostream>

#include "cli/Runtime.h"
#include "isilon/Paging.h"

namespace {

using nlohmann::json;

json EntryJson(const _IsilonFileInfo& f) {
  return {{"name", f.strName}, {"path", f.strPath}, {"type", f.strType}, {"mode", f.strMode},
          {"owner", f.strOwner}, {"size", f.nSize}, {"mtime", f.nMtime}};
}

std::string TimeText(uint32_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm {};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

std::vector<std::string> EntryRow(const _IsilonFileInfo& f) {
  return {f.strType == "container" ? "dir" : f.strType == "object" ? "file" : f.strType, f.strMode, f.strOwner,
          std::to_string(f.nSize), TimeText(f.nMtime), f.strName};
}

// A whole directory is printed as it comes, one page at a time, so that memory stays
// that of one page however big the directory is.
class StreamPrinter {
 public:
  StreamPrinter(const ctl::Runtime& rt, const std::string& path) : rt_(rt), path_(path) {}

  void Page(const std::vector<_IsilonFileInfo>& files) {
    for (const auto& f : files) {
      if (rt_.options.json) {
        std::cout << (count_ == 0 ? "\n    " : ",\n    ") << EntryJson(f).dump();
      } else {
        const std::vector<std::string> row = EntryRow(f);
        std::printf("%-5s %-6s %-12s %14s  %s  %s\n", row[0].c_str(), row[1].c_str(), row[2].c_str(), row[3].c_str(),
                    row[4].c_str(), row[5].c_str());
      }
      ++count_;
    }
    std::fflush(stdout);
  }
  void Begin() {
    if (rt_.options.json) {
      std::cout << "{\n  \"ok\": true,\n  \"path\": " << json(path_).dump() << ",\n  \"entries\": [";
    } else {
      std::printf("%-5s %-6s %-12s %14s  %-19s  %s\n", "TYPE", "MODE", "OWNER", "SIZE", "MODIFIED", "NAME");
    }
  }
  void End(bool ok) {
    if (rt_.options.json) {
      std::cout << (count_ == 0 ? "" : "\n  ") << "],\n  \"count\": " << count_ << ",\n  \"complete\": "
                << (ok ? "true" : "false") << "\n}" << std::endl;
    } else if (ok) {
      std::cout << count_ << " entries" << std::endl;
    }
  }
  unsigned long long count() const { return count_; }

 private:
  const ctl::Runtime& rt_;
  std::string path_;
  unsigned long long count_ = 0;
};

void InstallLs(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("ls", "List a directory (one page, or all of it with --all)");
  static std::string path, resume;
  static int limit = 1000;
  static bool all = false;
  cmd->add_option("PATH", path, "Cluster directory, e.g. /ifs/data")->required();
  cmd->add_option("--limit", limit, "Entries per page (1 to 999999999)")
      ->check(CLI::Range(1, 999999999))
      ->capture_default_str();
  cmd->add_flag("--all", all, "Follow the resume tokens to the end of the directory");
  cmd->add_option("--resume", resume, "Token of the page to list (from an earlier ls)");
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonFileInfo> files;
    std::string token = resume;
    if (!all) {
      if (!session->GetFileList(files, path, token, limit)) {
        rt.Failed("ls");
        return;
      }
      if (rt.options.json) {
        json list = json::array();
        for (const auto& f : files) list.push_back(EntryJson(f));
        rt.PrintJson({{"ok", true}, {"path", path}, {"entries", list}, {"resume", token}});
        return;
      }
      std::vector<std::vector<std::string>> rows;
      for (const auto& f : files) rows.push_back(EntryRow(f));
      rt.PrintTable({"TYPE", "MODE", "OWNER", "SIZE", "MODIFIED", "NAME"}, rows);
      if (!token.empty()) std::cout << "More entries: isilonctl ls " << path << " --resume " << token << std::endl;
      return;
    }

    StreamPrinter printer(rt, path);
    printer.Begin();
    const isilon::PageWalk walk = isilon::FollowPages(
        token,
        [&](const std::string& from, std::string& next) {
          next = from;
          if (!session->GetFileList(files, path, next, limit)) return isilon::PageStep::kFailed;
          printer.Page(files);
          rt.Progress("Listed " + std::to_string(printer.count()) + " entries...");
          return isilon::PageStep::kNext;
        },
        isilon::RepeatedTokens::kStop);
    const bool ok = walk == isilon::PageWalk::kComplete;
    rt.EndProgress();
    printer.End(ok);
    if (walk == isilon::PageWalk::kRepeatedToken) {
      std::cerr << "isilonctl: ls failed: " << isilon::RepeatedResumeMessage(token) << "\n";
      rt.exitCode = ctl::kExitFailed;
    } else if (!ok) {
      if (rt.options.json) {
        rt.exitCode = ctl::kExitFailed;
        std::string code, message;
        session->GetLastError(code, message);
        std::cerr << "isilonctl: ls failed: [" << code << "] " << message << "\n";
      } else {
        rt.Failed("ls");
      }
    }
  });
}

void InstallStat(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("stat", "Show the attributes of a path");
  static std::string path;
  cmd->add_option("PATH", path, "Cluster path")->required();
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    _IsilonFileInfo info;
    if (!session->GetPathAttributes(info, path)) {
      rt.Failed("stat");
      return;
    }
    rt.PrintResult({{"ok", true}, {"attributes", EntryJson(info)}},
                   "Path:     " + info.strPath + "\nName:     " + info.strName + "\nType:     " + info.strType +
                       "\nMode:     " + info.strMode + "\nOwner:    " + info.strOwner +
                       "\nSize:     " + std::to_string(info.nSize) + "\nModified: " + TimeText(info.nMtime) +
                       " (" + std::to_string(info.nMtime) + ")");
  });
}

void InstallCopy(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("copy", "Copy a file or a directory tree on the cluster itself");
  static std::string source, target;
  static bool overwrite = false;
  cmd->add_option("SOURCE", source, "Cluster path to copy")->required();
  cmd->add_option("TARGET", target, "Cluster path of the copy")->required();
  cmd->add_flag("--overwrite", overwrite, "Replace an existing target");
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    if (!session->CopyFileOrDirectory(source, target, overwrite)) {
      rt.Failed("copy");
      return;
    }
    rt.PrintResult({{"ok", true}, {"source", source}, {"target", target}, {"overwrite", overwrite}},
                   "Copied " + source + " to " + target);
  });
}

}  // namespace

ISILONCTL_COMMAND(namespace_commands) {
  InstallLs(app, rt);
  InstallStat(app, rt);
  InstallCopy(app, rt);
}
