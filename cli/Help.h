#pragma once
// isilonctl's help: examples and the global options under every command's help, the help
// command, the parser's failures in plain words with "did you mean", and the manual page.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace ctl {

class Runtime;

// After every command is installed: the help command, each command's help footer (examples,
// global options), the parser's failure message and the hidden __man command.
void InstallHelp(CLI::App& app, Runtime& rt);

// The parser's failure as a person reads it ("unknown option '--zon', did you mean '--zone'?").
std::string ParseFailureMessage(const CLI::App& root, const CLI::Error& error);

// "shares list" for that subcommand ("" for the root).
std::string CommandPathOf(const CLI::App* app);
// The subcommands a person may type (not the hidden ones), in the order they were added.
std::vector<const CLI::App*> VisibleSubcommands(const CLI::App* app);
// Every visible command below `app` that takes no further subcommand, depth first.
std::vector<const CLI::App*> LeafCommands(const CLI::App* app);
// The options a command takes, its own and the global ones, with their long or short names.
std::vector<std::string> OptionNames(const CLI::App* app, bool withGlobal);
// The examples shown in a command's help ("isilonctl shares list --zone eng").
std::vector<std::string> ExamplesOf(const CLI::App* app);

}  // namespace ctl
