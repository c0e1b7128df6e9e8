// isilonctl completion: shell completion scripts made from the command tree itself, and the
// hidden __complete that names the cluster's shares, snapshots and policies for them.
#include <fcntl.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "cli/Help.h"
#include "cli/Runtime.h"

namespace {

// Which names complete an argument: the command's first positional or an option's value.
struct NameSlot {
  const char* command;
  const char* option;  // "" for the first positional
  const char* kind;
};
const NameSlot kNameSlots[] = {
    {"shares list", "--name", "shares"},
    {"shares delete", "", "shares"},
    {"shares path", "", "shares"},
    {"shares acl-set", "", "shares"},
    {"snapshots list", "--name", "snapshots"},
    {"snapshots delete", "--name", "snapshots"},
    {"synciq policies", "--name", "policies"},
    {"synciq validate", "", "policies"},
    {"synciq start", "", "policies"},
    {"synciq job", "", "policies"},
    {"synciq report", "", "policies"},
    {"shares list", "--zone", "zones"},
    {"shares create", "--zone", "zones"},
    {"shares delete", "--zone", "zones"},
    {"shares path", "--zone", "zones"},
    {"shares acl-set", "--zone", "zones"},
    {"exports list", "--zone", "zones"},
};

// Options whose value is a local file.
const char* const kFileOptions[] = {"--ca-file", "--key-file", "--file"};

// The global options that say where and as whom to log in; completion passes them on.
const char* const kConnectionOptions[] = {"--server",   "--user",   "--ca-file", "--encrypted-password",
                                          "--key-file", "--profile"};

// "--zone= --path= --all-zones": options that take a value end with "=".
std::string OptionWords(const CLI::App* app) {
  std::string words;
  for (const CLI::Option* option : app->get_options()) {
    if (option->get_group().empty() || !option->nonpositional()) continue;
    std::stringstream all(option->get_name(false, true));
    std::string name;
    while (std::getline(all, name, ',')) {
      words += (words.empty() ? "" : " ") + name.substr(0, name.find('{'));
      if (option->get_expected_max() > 0) words += "=";
    }
  }
  return words;
}

std::string SubcommandWords(const CLI::App* app) {
  std::string words;
  for (const CLI::App* sub : ctl::VisibleSubcommands(app)) words += (words.empty() ? "" : " ") + sub->get_name();
  return words;
}

std::vector<const CLI::App*> AllCommands(const CLI::App* root) {
  std::vector<const CLI::App*> all{root};
  for (size_t i = 0; i < all.size(); ++i) {
    for (const CLI::App* sub : ctl::VisibleSubcommands(all[i])) all.push_back(sub);
  }
  return all;
}

std::string Key(const CLI::App* app) {
  const std::string path = ctl::CommandPathOf(app);
  return path.empty() ? "isilonctl" : "isilonctl " + path;
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Bash(const CLI::App* root) {
  std::ostringstream out;
  out << "# bash completion for isilonctl                                     -*- shell-script -*-\n"
         "# Made by 'isilonctl completion bash' from the program's own commands and options.\n\n";
  out << "_isilonctl_names() {\n"
         "  # The cluster's names of a kind, logging in as the words typed so far say (or as the\n"
         "  # profile and environment do); nothing when that fails.\n"
         "  local -a connection=()\n"
         "  local i\n"
         "  for ((i = 1; i < cword; i++)); do\n"
         "    case ${words[i]} in\n";
  std::string alternatives;
  for (const char* option : kConnectionOptions)
    alternatives += (alternatives.empty() ? "" : " | ") + std::string(option);
  out << "      " << alternatives << ") connection+=(\"${words[i]}\" \"${words[i + 1]}\") ;;\n";
  std::string prefixes;
  for (const char* option : kConnectionOptions)
    prefixes += (prefixes.empty() ? "" : " | ") + std::string(option) + "=*";
  out << "      " << prefixes << ") connection+=(\"${words[i]}\") ;;\n"
      << "    esac\n"
         "  done\n"
         "  COMPREPLY=($(compgen -W \"$(timeout 10 \"${words[0]}\" \"${connection[@]}\" __complete \"$1\" "
         "2>/dev/null </dev/null)\" -- \"$cur\"))\n"
         "}\n\n";
  out << "_isilonctl() {\n"
         "  local cur prev words cword\n"
         "  _init_completion || return\n\n"
         "  local -A commands=(\n";
  for (const CLI::App* app : AllCommands(root)) {
    const std::string subs = SubcommandWords(app);
    if (!subs.empty()) out << "    [" << Quoted(Key(app)) << "]=" << Quoted(subs) << "\n";
  }
  out << "  )\n  local -A options=(\n";
  for (const CLI::App* app : AllCommands(root)) {
    if (app == root) continue;
    out << "    [" << Quoted(Key(app)) << "]=" << Quoted(OptionWords(app)) << "\n";
  }
  out << "  )\n  local -A names=(\n";
  for (const NameSlot& slot : kNameSlots) {
    out << "    [" << Quoted(std::string("isilonctl ") + slot.command + (*slot.option ? " " : "") + slot.option)
        << "]=" << slot.kind << "\n";
  }
  out << "  )\n  local global_options=" << Quoted(OptionWords(root)) << "\n\n";
  out << "  # The command typed so far: the words that name a subcommand, skipping options and their\n"
         "  # values; after it, the arguments.\n"
         "  local cmdpath=isilonctl word i skip='' arguments=0\n"
         "  for ((i = 1; i < cword; i++)); do\n"
         "    word=${words[i]}\n"
         "    if [[ -n $skip ]]; then skip=''; continue; fi\n"
         "    if [[ $word == -* ]]; then\n"
         "      [[ $word != *=* && \" $global_options ${options[$cmdpath]} \" == *\" $word= \"* ]] && skip=1\n"
         "      continue\n"
         "    fi\n"
         "    if [[ -n ${commands[$cmdpath]+set} && \" ${commands[$cmdpath]} \" == *\" $word \"* ]]; then\n"
         "      cmdpath=\"$cmdpath $word\"\n"
         "    else\n"
         "      ((arguments++))\n"
         "    fi\n"
         "  done\n\n"
         "  case $prev in\n"
         "    --server) _known_hosts_real -- \"$cur\"; return ;;\n";
  std::string files;
  for (const char* option : kFileOptions) files += (files.empty() ? "" : " | ") + std::string(option);
  out << "    " << files << ") _filedir; return ;;\n"
      << "    --log-level) COMPREPLY=($(compgen -W \"-1 0 1 2 3 4 5 6 7\" -- \"$cur\")); return ;;\n"
         "    -o | --output) COMPREPLY=($(compgen -W \"table wide json ndjson\" -- \"$cur\")); return ;;\n"
         "    --type) COMPREPLY=($(compgen -W \"f d\" -- \"$cur\")); return ;;\n"
         "  esac\n"
         "  if [[ -n $skip ]]; then\n"
         "    [[ -n ${names[\"$cmdpath $prev\"]+set} ]] && _isilonctl_names \"${names[\"$cmdpath $prev\"]}\"\n"
         "    return\n"
         "  fi\n\n"
         "  if [[ $cur == -* ]]; then\n"
         "    local all\n"
         "    all=$(printf '%s\\n' $global_options ${options[$cmdpath]} | sed 's/=$//' | awk '!seen[$0]++')\n"
         "    COMPREPLY=($(compgen -W \"$all\" -- \"$cur\"))\n"
         "  elif [[ -n ${commands[$cmdpath]+set} ]]; then\n"
         "    COMPREPLY=($(compgen -W \"${commands[$cmdpath]}\" -- \"$cur\"))\n"
         "  elif ((arguments == 0)) && [[ -n ${names[$cmdpath]+set} ]]; then\n"
         "    _isilonctl_names \"${names[$cmdpath]}\"\n"
         "  fi\n"
         "} &&\n"
         "  complete -F _isilonctl isilonctl\n\n"
         "# ex: filetype=sh\n";
  return out.str();
}

std::string Zsh(const CLI::App* root) {
  std::ostringstream out;
  out << "#compdef isilonctl\n"
         "# zsh completion for isilonctl, made by 'isilonctl completion zsh' from the program's own\n"
         "# commands and options.\n\n"
         "_isilonctl_names() {\n"
         "  local -a connection names\n"
         "  local i\n"
         "  for ((i = 2; i < CURRENT; i++)); do\n"
         "    case ${words[i]} in\n";
  std::string alternatives, prefixes;
  for (const char* option : kConnectionOptions) {
    alternatives += (alternatives.empty() ? "" : " | ") + std::string(option);
    prefixes += (prefixes.empty() ? "" : " | ") + std::string(option) + "=*";
  }
  out << "      " << alternatives << ") connection+=(${words[i]} ${words[i+1]}) ;;\n"
      << "      " << prefixes << ") connection+=(${words[i]}) ;;\n"
      << "    esac\n"
         "  done\n"
         "  names=(${(f)\"$(timeout 10 ${words[1]} $connection __complete $1 2>/dev/null </dev/null)\"})\n"
         "  (( ${#names} )) && compadd -a names\n"
         "}\n\n"
         "_isilonctl() {\n"
         "  local -A commands options names\n"
         "  commands=(\n";
  for (const CLI::App* app : AllCommands(root)) {
    const std::string subs = SubcommandWords(app);
    if (!subs.empty()) out << "    " << Quoted(Key(app)) << " " << Quoted(subs) << "\n";
  }
  out << "  )\n  options=(\n";
  for (const CLI::App* app : AllCommands(root)) {
    if (app != root) out << "    " << Quoted(Key(app)) << " " << Quoted(OptionWords(app)) << "\n";
  }
  out << "  )\n  names=(\n";
  for (const NameSlot& slot : kNameSlots) {
    out << "    " << Quoted(std::string("isilonctl ") + slot.command + (*slot.option ? " " : "") + slot.option) << " "
        << slot.kind << "\n";
  }
  out << "  )\n  local global_options=" << Quoted(OptionWords(root)) << "\n"
      << "  local cmdpath=isilonctl word skip='' arguments=0 i\n"
         "  for ((i = 2; i < CURRENT; i++)); do\n"
         "    word=${words[i]}\n"
         "    if [[ -n $skip ]]; then skip=''; continue; fi\n"
         "    if [[ $word == -* ]]; then\n"
         "      [[ $word != *=* && \" $global_options ${options[$cmdpath]} \" == *\" $word= \"* ]] && skip=1\n"
         "      continue\n"
         "    fi\n"
         "    if (( ${+commands[$cmdpath]} )) && [[ \" ${commands[$cmdpath]} \" == *\" $word \"* ]]; then\n"
         "      cmdpath=\"$cmdpath $word\"\n"
         "    else\n"
         "      (( arguments++ ))\n"
         "    fi\n"
         "  done\n"
         "  local cur=${words[CURRENT]} prev=${words[CURRENT-1]}\n"
         "  case $prev in\n"
         "    --server) _hosts; return ;;\n";
  std::string files;
  for (const char* option : kFileOptions) files += (files.empty() ? "" : " | ") + std::string(option);
  out << "    " << files << ") _files; return ;;\n"
      << "    --log-level) compadd -- -1 0 1 2 3 4 5 6 7; return ;;\n"
         "    -o | --output) compadd table wide json ndjson; return ;;\n"
         "    --type) compadd f d; return ;;\n"
         "  esac\n"
         "  if [[ -n $skip ]]; then\n"
         "    (( ${+names[$cmdpath $prev]} )) && _isilonctl_names ${names[$cmdpath $prev]}\n"
         "    return\n"
         "  fi\n"
         "  if [[ $cur == -* ]]; then\n"
         "    local -a all\n"
         "    all=(${=global_options} ${=options[$cmdpath]})\n"
         "    compadd -- ${all%=}\n"
         "  elif (( ${+commands[$cmdpath]} )); then\n"
         "    compadd -- ${=commands[$cmdpath]}\n"
         "  elif (( arguments == 0 )) && (( ${+names[$cmdpath]} )); then\n"
         "    _isilonctl_names ${names[$cmdpath]}\n"
         "  fi\n"
         "}\n\n"
         "_isilonctl \"$@\"\n";
  return out.str();
}

std::string Fish(const CLI::App* root) {
  std::ostringstream out;
  out << "# fish completion for isilonctl, made by 'isilonctl completion fish' from the program's own\n"
         "# commands and options.\n\n"
         "# True when the words typed so far name exactly this command (\"shares list\").\n"
         "function __isilonctl_at\n"
         "    set -l words (commandline -opc)\n"
         "    set -e words[1]\n"
         "    set -l named\n"
         "    for word in $words\n"
         "        string match -q -- '-*' $word; and continue\n"
         "        set -a named $word\n"
         "    end\n"
         "    set -l want (string split ' ' -- $argv[1])\n"
         "    test (count $named) -ge (count $want); or return 1\n"
         "    test \"$named[1..(count $want)]\" = \"$want\"; or return 1\n"
         "    test (count $argv) -lt 2; and return 0\n"
         "    # With a second argument: nothing typed after the command yet.\n"
         "    test (count $named) -eq (count $want)\n"
         "end\n\n"
         "function __isilonctl_names\n"
         "    set -l words (commandline -opc)\n"
         "    set -l connection\n"
         "    for i in (seq 2 (count $words))\n"
         "        switch $words[$i]\n";
  for (const char* option : kConnectionOptions) {
    out << "            case " << option << "\n"
        << "                set -a connection $words[$i] $words[(math $i + 1)]\n"
        << "            case '" << option << "=*'\n"
        << "                set -a connection $words[$i]\n";
  }
  out << "        end\n"
         "    end\n"
         "    timeout 10 $words[1] $connection __complete $argv[1] 2>/dev/null </dev/null\n"
         "end\n\n"
         "complete -c isilonctl -f\n";
  auto options = [&out](const CLI::App* app, const std::string& condition) {
    for (const CLI::Option* option : app->get_options()) {
      if (option->get_group().empty() || !option->nonpositional()) continue;
      out << "complete -c isilonctl";
      if (!condition.empty()) out << " -n " << Quoted(condition);
      std::stringstream all(option->get_name(false, true));
      std::string name;
      while (std::getline(all, name, ',')) {
        name = name.substr(0, name.find('{'));
        out << (name.size() == 2 ? " -s " + name.substr(1) : " -l " + name.substr(2));
      }
      if (option->get_expected_max() > 0) out << " -r";
      out << " -d " << Quoted(option->get_description().substr(0, 80)) << "\n";
    }
  };
  options(root, "");
  for (const CLI::App* app : AllCommands(root)) {
    const std::string path = ctl::CommandPathOf(app);
    const std::string at = app == root ? "__fish_use_subcommand" : "__isilonctl_at " + Quoted(path) + " 1";
    for (const CLI::App* sub : ctl::VisibleSubcommands(app)) {
      out << "complete -c isilonctl -n " << Quoted(at) << " -a " << sub->get_name() << " -d "
          << Quoted(sub->get_description().substr(0, 80)) << "\n";
    }
    if (app != root) options(app, "__isilonctl_at " + Quoted(path));
  }
  for (const NameSlot& slot : kNameSlots) {
    const std::string at = "__isilonctl_at " + Quoted(slot.command) + (*slot.option ? "" : " 1");
    out << "complete -c isilonctl -n " << Quoted(at);
    if (*slot.option) out << " -l " << (slot.option + 2) << " -r";
    out << " -a '(__isilonctl_names " << slot.kind << ")'\n";
  }
  for (const char* option : kFileOptions) out << "complete -c isilonctl -l " << (option + 2) << " -r -F\n";
  return out.str();
}

// The names of a kind on the cluster, one a line, sorted; false when they cannot be read.
bool ClusterNames(ManageIsilon& session, const std::string& kind, std::set<std::string>& names) {
  if (kind == "shares") {
    std::vector<_IsilonShareInfo> shares;
    if (session.GetAllCIFSSharesList(shares).IsError()) return false;
    for (const auto& s : shares) names.insert(s.strName);
  } else if (kind == "snapshots") {
    std::vector<_IsilonSnapInfo> snaps;
    if (!session.GetSnapshotList(snaps, "", "")) return false;
    for (const auto& s : snaps) names.insert(s.strName);
  } else if (kind == "policies") {
    std::vector<_IsilonSyncIQPolicyInfo> policies;
    if (!session.GetAllSyncIQPolicies(policies)) return false;
    for (const auto& p : policies) names.insert(p.strName);
  } else if (kind == "zones") {
    std::vector<_IsilonAccessZoneInfo> zones;
    if (session.GetAccessZonesList(zones).IsError()) return false;
    for (const auto& z : zones) names.insert(z.strName);
  } else {
    return false;
  }
  return true;
}

}  // namespace

ISILONCTL_COMMAND(completion) {
  CLI::App* cmd = app.add_subcommand("completion", "Print the shell completion script for bash, zsh or fish");
  static std::string shell;
  cmd->add_option("SHELL", shell, "bash, zsh or fish")->required()->check(CLI::IsMember({"bash", "zsh", "fish"}));
  cmd->callback([&app]() {
    std::cout << (shell == "bash" ? Bash(&app) : shell == "zsh" ? Zsh(&app) : Fish(&app));
    std::cout.flush();
  });

  CLI::App* names = app.add_subcommand("__complete", "Print the cluster's names of a kind, for completion");
  names->group("");
  static std::string kind;
  names->add_option("KIND", kind, "shares, snapshots, policies or zones")->required();
  names->callback([&rt]() {
    // Quiet whatever happens: no prompt (standard input is not the terminal), no message.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDERR_FILENO);
      ::close(null);
    }
    rt.options.json = false;
    rt.options.passwordStdin = false;
    ManageIsilon* session = rt.Session();
    std::set<std::string> found;
    if (session == nullptr || !ClusterNames(*session, kind, found)) {
      rt.exitCode = ctl::kExitFailed;
      return;
    }
    for (const std::string& name : found) {
      if (name.find('\n') == std::string::npos) std::cout << name << '\n';
    }
    std::cout.flush();
  });
}
