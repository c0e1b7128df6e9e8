// isilonctl ls, stat and copy: the cluster's file system through its namespace interface.
#include <ctime>
#include <iostream>

#include "cli/Runtime.h"
#include "host/FXString.h"
#include "isilon/Paging.h"

namespace {

using nlohmann::json;

json EntryJson(const _IsilonFileInfo& f) {
  return {{"name", f.strName},   {"path", f.strPath}, {"type", f.strType}, {"mode", f.strMode},
          {"owner", f.strOwner}, {"size", f.nSize},   {"mtime", f.nMtime}};
}

using ctl::TimeText;

std::vector<std::string> EntryRow(const _IsilonFileInfo& f) {
  return {f.strType == "container" ? "dir"
          : f.strType == "object"  ? "file"
                                   : f.strType,
          f.strMode,
          f.strOwner,
          ctl::SizeText(f.nSize),
          TimeText(f.nMtime),
          f.strName};
}

// A whole directory is printed as it comes, one page at a time, so that memory stays
// that of one page however big the directory is.
class StreamPrinter {
 public:
  StreamPrinter(const ctl::Runtime& rt, const std::string& path) : rt_(rt), path_(path) {}

  void Page(const std::vector<_IsilonFileInfo>& files) {
    for (const auto& f : files) {
      if (ctl::Out().format == ctl::OutputFormat::kNdjson) {
        std::cout << EntryJson(f).dump() << '\n';
      } else if (rt_.options.json) {
        std::cout << (count_ == 0 ? "\n    " : ",\n    ") << EntryJson(f).dump();
      } else {
        const std::vector<std::string> row = EntryRow(f);
        std::cout << FXString::Format("%-5s %-6s %-12s %14s  %s  ", row[0].c_str(), row[1].c_str(), row[2].c_str(),
                                      row[3].c_str(), row[4].c_str())
                  << row[5] << "\n";
      }
      ++count_;
    }
    std::cout.flush();
  }
  void Begin() {
    if (ctl::Out().format == ctl::OutputFormat::kNdjson) {
      // One entry a line, nothing around them.
    } else if (rt_.options.json) {
      std::cout << "{\n  \"path\": " << json(path_).dump() << ",\n  \"entries\": [";
    } else if (!ctl::Out().noHeaders) {
      std::cout << FXString::Format("%-5s %-6s %-12s %14s  %-19s  %s\n", "TYPE", "MODE", "OWNER", "SIZE", "MODIFIED",
                                    "NAME");
    }
  }
  // A listing that stopped early says why in the same object.
  void End(const json& failure) {
    if (ctl::Out().format == ctl::OutputFormat::kNdjson) {
      std::cout.flush();  // a failure follows as a line of its own
    } else if (rt_.options.json) {
      json tail = {{"count", count_}, {"complete", failure.is_null()}, {"ok", failure.is_null()}};
      if (!failure.is_null()) tail.update(failure);
      std::string members = tail.dump(2);
      members = members.substr(1, members.size() - 2);  // the members without the braces
      std::cout << (count_ == 0 ? "" : "\n  ") << "]," << members << "}" << std::endl;
    } else if (failure.is_null() && ctl::ShowFooter()) {
      std::cout << ctl::Count(count_, "entry", "entries") << std::endl;
    }
  }
  unsigned long long count() const { return count_; }

 private:
  const ctl::Runtime& rt_;
  std::string path_;
  unsigned long long count_ = 0;
};

// A path the cluster does not know is named as such; other failures carry the cluster's error.
void LookupFailed(ctl::Runtime& rt, const std::string& path) {
  if (rt.LastErrorIs("AEC_NOT_FOUND")) {
    rt.NotFound("path", path);
  } else {
    rt.Failed(rt.command);
  }
}

void InstallLs(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("ls", "List a directory (one page, or all of it with --all)");
  static std::string path, resume;
  static int limit = 1000;
  static bool all = false;
  cmd->add_option("PATH", path, "Cluster directory, e.g. /ifs/data")->required()->transform(ctl::PathArgument());
  cmd->add_option("--limit", limit, "Entries per page (1 to 999999999)")
      ->check(ctl::WholeNumber(1, 999999999))
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
        LookupFailed(rt, path);
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
      // A hint for a person; a script reads the token with -o json.
      if (!token.empty() && ctl::ShowFooter()) {
        std::cout << "More entries: isilonctl ls " << path << " --resume " << token << std::endl;
      }
      return;
    }

    // The first page decides whether the path is there at all.
    if (!session->GetFileList(files, path, token, limit)) {
      LookupFailed(rt, path);
      return;
    }
    StreamPrinter printer(rt, path);
    printer.Begin();
    json failure;
    printer.Page(files);
    rt.Progress("Listed " + std::to_string(printer.count()) + " entries...");
    if (!token.empty() && !rt.OutputBroken()) {
      const isilon::PageWalk walk = isilon::FollowPages(
          token,
          [&](const std::string& from, std::string& next) {
            next = from;
            if (!session->GetFileList(files, path, next, limit)) return isilon::PageStep::kFailed;
            printer.Page(files);
            rt.Progress("Listed " + std::to_string(printer.count()) + " entries...");
            // Nobody reads the rest: stop as if it were found.
            return rt.OutputBroken() ? isilon::PageStep::kFound : isilon::PageStep::kNext;
          },
          isilon::RepeatedTokens::kStop);
      if (walk == isilon::PageWalk::kRepeatedToken) {
        failure = {
            {"code", isilon::RepeatedResumeCode()}, {"message", isilon::RepeatedResumeMessage(token)}, {"cause", ""}};
      } else if (walk == isilon::PageWalk::kFailed) {
        std::string code, message;
        session->GetLastError(code, message);
        failure = {{"code", code}, {"message", message}, {"cause", session->GetLastTransportError()}};
      }
    }
    rt.EndProgress();
    printer.End(failure);
    if (!failure.is_null()) {
      if (rt.options.json && ctl::Out().format != ctl::OutputFormat::kNdjson) {
        rt.exitCode = ctl::kExitFailed;  // told in the listing's own object
      } else {
        rt.Failed("ls", failure["code"], failure["message"], failure["cause"]);
      }
    }
  });
}

void InstallStat(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("stat", "Show the attributes of a path");
  static std::string path;
  cmd->add_option("PATH", path, "Cluster path")->required()->transform(ctl::PathArgument());
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    _IsilonFileInfo info;
    if (!session->GetPathAttributes(info, path)) {
      LookupFailed(rt, path);
      return;
    }
    rt.PrintResult({{"ok", true}, {"attributes", EntryJson(info)}},
                   "Path:     " + info.strPath + "\nName:     " + info.strName + "\nType:     " + info.strType +
                       "\nMode:     " + info.strMode + "\nOwner:    " + info.strOwner +
                       "\nSize:     " + ctl::SizeText(info.nSize) + "\nModified: " + TimeText(info.nMtime) + " (" +
                       std::to_string(info.nMtime) + ")");
  });
}

void InstallCopy(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* cmd = app.add_subcommand("copy", "Copy a file or a directory tree on the cluster itself");
  static std::string source, target;
  static bool overwrite = false;
  cmd->add_option("SOURCE", source, "Cluster path to copy")->required()->transform(ctl::PathArgument());
  cmd->add_option("TARGET", target, "Cluster path of the copy")->required()->transform(ctl::PathArgument());
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
