#include "cli/Help.h"

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "cli/Runtime.h"

namespace ctl {
namespace {

// Examples by command path; the connection options (--server, --user, ...) are left out.
const std::map<std::string, std::vector<std::string>>& ExampleTable() {
  static const std::map<std::string, std::vector<std::string>> table = {
      {"login", {"echo \"$PASSWORD\" | isilonctl --server cluster.example --user admin --password-stdin login"}},
      {"encrypt-password",
       {"isilonctl encrypt-password --key-file ~/.isilon.key --create-key",
        "isilonctl --encrypted-password 'TEXT' --key-file ~/.isilon.key shares list"}},
      {"shares list",
       {"isilonctl shares list", "isilonctl shares list --zone eng --path /ifs/eng",
        "isilonctl shares list --all-zones -o json"}},
      {"shares all", {"isilonctl shares all"}},
      {"shares create",
       {"isilonctl shares create backup /ifs/data/backup", "isilonctl shares create eng /ifs/eng --zone eng"}},
      {"shares delete", {"isilonctl shares delete backup", "isilonctl shares delete eng --zone eng"}},
      {"shares path", {"isilonctl shares path backup"}},
      {"shares acl-set",
       {"isilonctl shares acl-set backup --allow Everyone:read", "isilonctl shares acl-set backup --file acl.json"}},
      {"zones list", {"isilonctl zones list"}},
      {"exports list", {"isilonctl exports list", "isilonctl exports list --path /ifs/data/backup -o wide"}},
      {"exports create", {"isilonctl exports create /ifs/data/backup --client 10.0.0.5 --read-only"}},
      {"exports delete", {"isilonctl exports delete 3"}},
      {"ls", {"isilonctl ls /ifs/data", "isilonctl ls /ifs/data --all -o ndjson", "isilonctl ls /ifs/data -H"}},
      {"stat", {"isilonctl stat /ifs/data/file.txt"}},
      {"copy", {"isilonctl copy /ifs/data/src /ifs/data/dst --overwrite"}},
      {"cluster ips", {"isilonctl cluster ips"}},
      {"cluster version", {"isilonctl cluster version"}},
      {"snapshots list", {"isilonctl snapshots list", "isilonctl snapshots list --path /ifs/data -H"}},
      {"snapshots create", {"isilonctl snapshots create /ifs/data nightly"}},
      {"snapshots delete", {"isilonctl snapshots delete --name nightly", "isilonctl snapshots delete --id 12"}},
      {"changelist create", {"isilonctl changelist create 12 13 --wait"}},
      {"changelist get", {"isilonctl changelist get 12 13", "isilonctl changelist get 12 13 --all -o ndjson"}},
      {"changelist jobtype get", {"isilonctl changelist jobtype get"}},
      {"changelist jobtype enable", {"isilonctl changelist jobtype enable"}},
      {"changelist jobtype disable", {"isilonctl changelist jobtype disable"}},
      {"synciq policies", {"isilonctl synciq policies", "isilonctl synciq policies -o wide"}},
      {"synciq validate", {"isilonctl synciq validate nightly", "isilonctl synciq validate nightly --fix"}},
      {"synciq start", {"isilonctl synciq start nightly snap-2024-01-02"}},
      {"synciq job", {"isilonctl synciq job nightly", "isilonctl synciq job nightly --state running"}},
      {"synciq report",
       {"isilonctl synciq report nightly --job 7", "isilonctl synciq report nightly --state finished"}},
      {"find",
       {"isilonctl find /ifs/data --type f", "isilonctl find /ifs/data -o ndjson --parallel 16",
        "isilonctl find /ifs/data -print0 | xargs -0 -n 100 echo"}},
      {"du", {"isilonctl du /ifs/data -H"}},
      {"completion",
       {"source <(isilonctl completion bash)", "isilonctl completion zsh > ~/.zfunc/_isilonctl",
        "isilonctl completion fish > ~/.config/fish/completions/isilonctl.fish"}},
      {"help", {"isilonctl help shares list"}},
  };
  return table;
}

bool Hidden(const CLI::App* app) { return app->get_group().empty(); }

// "HOST" of "TEXT:HOST", "FORMAT" of "FORMAT:{table,wide}", "INT" of "INT:whole number ...".
std::string ValueName(const CLI::Option* option) {
  const std::string type = option->get_type_name();
  const size_t colon = type.find(':');
  if (colon == std::string::npos) return type;
  const std::string after = type.substr(colon + 1);
  const bool named = !after.empty() && after.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_") == std::string::npos;
  return named ? after : type.substr(0, colon);
}

// "--server HOST", "-o,--output FORMAT", "NAME".
std::string OptionLabel(const CLI::Option* option) {
  std::string label = option->nonpositional() ? option->get_name(false, true) : option->get_name(true);
  if (option->nonpositional() && option->get_expected_max() > 0) label += " " + ValueName(option);
  return label;
}

std::string GlobalOptionsText(const CLI::App* root) {
  std::ostringstream out;
  out << "Global options (before or after the command):\n";
  for (const CLI::Option* option : root->get_options()) {
    if (option->get_group().empty() || !option->nonpositional() || option->get_name() == "--help") continue;
    const std::string label = OptionLabel(option);
    out << "  " << label;
    if (label.size() < 28) {
      out << std::string(28 - label.size(), ' ');
    } else {
      out << "\n" << std::string(30, ' ');
    }
    out << option->get_description() << "\n";
  }
  return out.str();
}

// The words that name a command at `app`: its subcommands and their aliases.
std::vector<std::string> CommandWords(const CLI::App* app) {
  std::vector<std::string> words;
  for (const CLI::App* sub : VisibleSubcommands(app)) {
    words.push_back(sub->get_name());
    for (const std::string& alias : sub->get_aliases()) words.push_back(alias);
  }
  return words;
}

// ", did you mean 'shares list'?" when a candidate is near enough.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates,
                       const std::string& where = std::string()) {
  const std::string nearest = Nearest(word, candidates);
  if (nearest.empty()) return std::string();
  return ", did you mean '" + (where.empty() ? nearest : where + " " + nearest) + "'?";
}

std::string SeeHelp(const CLI::App* at) {
  const std::string path = CommandPathOf(at);
  return " (see isilonctl " + (path.empty() ? std::string() : path + " ") + "--help)";
}

const CLI::App* Deepest(const CLI::App* app) {
  while (!app->get_subcommands().empty()) app = app->get_subcommands().front();
  return app;
}

// The help of `app` as `isilonctl ... --help` shows it (App::help would show the help of the
// command chosen on this command line, "help" itself).
std::string HelpOf(const CLI::App* app) {
  const std::string path = CommandPathOf(app);
  return app->get_formatter()->make_help(app, path.empty() ? "isilonctl" : "isilonctl " + path,
                                         CLI::AppFormatMode::Normal);
}

// ---- the manual page --------------------------------------------------------------------

std::string Roff(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  // A line may not start with a control character.
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

void ManOption(std::ostream& out, const CLI::Option* option) {
  out << ".TP\n";
  if (option->nonpositional()) {
    out << "\\fB" << Roff(option->get_name(false, true)) << "\\fR";
    if (option->get_expected_max() > 0) out << " \\fI" << Roff(ValueName(option)) << "\\fR";
  } else {
    out << "\\fI" << Roff(option->get_name(true)) << "\\fR";
  }
  out << "\n" << Roff(option->get_description()) << "\n";
}

std::string Usage(const CLI::App* app) {
  std::string usage = "isilonctl " + CommandPathOf(app);
  for (const CLI::Option* option : app->get_options()) {
    if (option->get_group().empty() || option->nonpositional()) continue;
    const std::string name = option->get_name(true);
    const bool many = option->get_items_expected_max() > 1;
    usage += " " + (option->get_required() ? name : "[" + name + "]") + (many ? "..." : "");
  }
  return usage + " [OPTIONS]";
}

// Sections of the hand-written part: "[NAME]" starts a section, "[>NAME]" adds to one.
std::vector<std::pair<std::string, std::string>> ReadSections(const std::string& file) {
  std::vector<std::pair<std::string, std::string>> sections;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      sections.emplace_back(line.substr(1, line.size() - 2), std::string());
    } else if (!sections.empty()) {
      sections.back().second += line + "\n";
    }
  }
  return sections;
}

int WriteManPage(const CLI::App* root, const std::string& includeFile, const std::string& outputFile) {
  std::ostringstream out;
  const auto sections = ReadSections(includeFile);
  auto added = [&sections](const std::string& name) {
    std::string text;
    for (const auto& s : sections) {
      if (s.first == ">" + name) text += s.second;
    }
    return text;
  };
  out << ".TH ISILONCTL 1 \"\" \"isilonctl " << ISILONCTL_VERSION << "\" \"User Commands\"\n";
  out << ".SH NAME\nisilonctl \\- manage an Isilon cluster through its HTTPS interface\n";
  out << ".SH SYNOPSIS\n.B isilonctl\n[\\fIGLOBAL OPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR] [\\fIOPTIONS\\fR]\n";
  out << ".SH DESCRIPTION\n" << Roff(root->get_description()) << ".\n" << added("DESCRIPTION");
  out << ".SH \"GLOBAL OPTIONS\"\nThey may come before or after the command.\n";
  for (const CLI::Option* option : root->get_options()) {
    if (!option->get_group().empty() && option->nonpositional()) ManOption(out, option);
  }
  out << ".SH COMMANDS\n";
  for (const CLI::App* command : LeafCommands(root)) {
    out << ".SS \"" << Roff(Usage(command)) << "\"\n" << Roff(command->get_description()) << ".\n";
    for (const CLI::Option* option : command->get_options()) {
      if (option->get_group().empty() || option->get_name() == "--help") continue;
      ManOption(out, option);
    }
    const std::vector<std::string> examples = ExamplesOf(command);
    if (!examples.empty()) {
      out << ".PP\nExamples:\n.PP\n.nf\n.RS\n";
      for (const std::string& e : examples) out << Roff(e) << "\n";
      out << ".RE\n.fi\n";
    }
  }
  for (const auto& s : sections) {
    if (!s.first.empty() && s.first[0] == '>') continue;
    out << ".SH " << (s.first.find(' ') != std::string::npos ? "\"" + s.first + "\"" : s.first) << "\n" << s.second;
  }
  std::ofstream file(outputFile, std::ios::trunc);
  file << out.str();
  file.close();
  if (!file) {
    std::cerr << "isilonctl: cannot write " << outputFile << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

std::string CommandPathOf(const CLI::App* app) {
  std::string path;
  for (const CLI::App* at = app; at != nullptr && at->get_parent() != nullptr; at = at->get_parent()) {
    path = at->get_name() + (path.empty() ? "" : " " + path);
  }
  return path;
}

std::vector<const CLI::App*> VisibleSubcommands(const CLI::App* app) {
  return app->get_subcommands([](const CLI::App* sub) { return !Hidden(sub); });
}

std::vector<const CLI::App*> LeafCommands(const CLI::App* app) {
  std::vector<const CLI::App*> leaves;
  for (const CLI::App* sub : VisibleSubcommands(app)) {
    if (VisibleSubcommands(sub).empty()) {
      leaves.push_back(sub);
    } else {
      for (const CLI::App* leaf : LeafCommands(sub)) leaves.push_back(leaf);
    }
  }
  return leaves;
}

std::vector<std::string> OptionNames(const CLI::App* app, bool withGlobal) {
  std::vector<std::string> names;
  for (const CLI::App* at = app; at != nullptr; at = withGlobal ? at->get_parent() : nullptr) {
    for (const CLI::Option* option : at->get_options()) {
      if (option->get_group().empty() || !option->nonpositional()) continue;
      std::stringstream all(option->get_name(false, true));
      std::string name;
      while (std::getline(all, name, ',')) names.push_back(name.substr(0, name.find('{')));
    }
  }
  return names;
}

std::vector<std::string> ExamplesOf(const CLI::App* app) {
  const auto& table = ExampleTable();
  const auto found = table.find(CommandPathOf(app));
  if (found != table.end()) return found->second;
  // A command group shows the first example of each of its commands.
  std::vector<std::string> examples;
  for (const CLI::App* sub : VisibleSubcommands(app)) {
    const std::vector<std::string> more = ExamplesOf(sub);
    if (!more.empty()) examples.push_back(more.front());
  }
  return examples;
}

std::string ParseFailureMessage(const CLI::App& root, const CLI::Error& error) {
  const CLI::App* at = Deepest(&root);
  const std::vector<std::string> left = root.remaining(/*recurse=*/true);
  // An unknown option, wherever it came.
  for (const std::string& word : left) {
    if (word.size() < 2 || word[0] != '-' || word == "--") continue;
    const std::string name = word.substr(0, word.find('='));
    return "unknown option '" + name + "'" + DidYouMean(name, OptionNames(at, /*withGlobal=*/true)) + SeeHelp(at);
  }
  const std::string where = CommandPathOf(at);
  const bool wantsCommand = at->get_require_subcommand_min() > 0 && at->get_subcommands().empty();
  if (wantsCommand) {
    if (!left.empty()) {
      return "unknown command '" + (where.empty() ? left.front() : where + " " + left.front()) + "'" +
             DidYouMean(left.front(), CommandWords(at), where) + SeeHelp(at);
    }
    return "a command is needed after 'isilonctl" + (where.empty() ? std::string() : " " + where) + "'" + SeeHelp(at);
  }
  if (!left.empty()) return "unexpected argument '" + left.front() + "'" + SeeHelp(at);
  // "--zone: 1 required TEXT missing", "NAME is required": with where to read more.
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr ||
      dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    return std::string(error.what()) + SeeHelp(at);
  }
  return error.what();
}

void InstallHelp(CLI::App& app, Runtime& rt) {
  CLI::App* help = app.add_subcommand("help", "Show the help of a command");
  static std::vector<std::string> words;
  help->add_option("COMMAND", words, "The command, e.g. shares list");
  help->callback([&rt, &app]() {
    const CLI::App* at = &app;
    for (const std::string& word : words) {
      const CLI::App* next = nullptr;
      for (const CLI::App* sub : VisibleSubcommands(at)) {
        if (sub->check_name(word)) next = sub;
      }
      if (next == nullptr) {
        const std::string where = CommandPathOf(at);
        rt.Usage("unknown command '" + (where.empty() ? word : where + " " + word) + "'" +
                 DidYouMean(word, CommandWords(at), where) + SeeHelp(at));
        return;
      }
      at = next;
    }
    std::cout << HelpOf(at);
  });

  CLI::App* man = app.add_subcommand("__man", "Write the manual page");
  man->group("");
  static std::string include, output;
  man->add_option("INCLUDE", include, "Hand-written sections")->required();
  man->add_option("OUTPUT", output, "The page to write")->required();
  man->callback([&rt, &app]() { rt.exitCode = WriteManPage(&app, include, output); });

  // Every command's help ends with its examples and the global options.
  const std::string global = GlobalOptionsText(&app);
  std::vector<CLI::App*> todo = app.get_subcommands([](CLI::App*) { return true; });
  while (!todo.empty()) {
    CLI::App* command = todo.back();
    todo.pop_back();
    for (CLI::App* sub : command->get_subcommands([](CLI::App*) { return true; })) todo.push_back(sub);
    std::string footer;
    const std::vector<std::string> examples = ExamplesOf(command);
    if (!examples.empty()) {
      footer += "Examples:\n";
      for (const std::string& e : examples) footer += "  " + e + "\n";
      footer += "\n";
    }
    command->footer(footer + global);
  }
  app.footer("Run 'isilonctl help COMMAND...' or 'isilonctl COMMAND --help' for the help of a command.");

  app.failure_message([](const CLI::App* root, const CLI::Error& e) { return ParseFailureMessage(*root, e); });
}

}  // namespace ctl
