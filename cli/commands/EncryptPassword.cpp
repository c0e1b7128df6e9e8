// isilonctl encrypt-password: make the enciphered form of a password for --encrypted-password
// or for a host's configuration.
#include <algorithm>
#include <iostream>

#include "cli/Runtime.h"
#include "host/Password.h"

ISILONCTL_COMMAND(encrypt_password) {
  CLI::App* cmd = app.add_subcommand("encrypt-password", "Encipher a password with a key file");
  static std::string keyFile;
  static bool createKey = false;
  cmd->add_option("--key-file", keyFile, "Key file (default: the registry's sIsilonKeyFile)");
  cmd->add_flag("--create-key", createKey, "Create the key file first if it does not exist");
  cmd->callback([&rt]() {
    const std::string file = !keyFile.empty() ? keyFile : rt.options.keyFile;
    if (createKey) {
      if (file.empty()) {
        rt.Usage("--create-key needs --key-file");
        return;
      }
      QuorPassword::createKeyFile(file);  // keeps an existing key
    }
    std::string password;
    if (rt.options.passwordStdin) {
      std::getline(std::cin, password);
    } else if (!ctl::ReadPasswordFromTerminal("Password to encipher: ", password)) {
      rt.Usage("no password: give it on a terminal or with --password-stdin");
      return;
    }
    const std::string text =
        file.empty() ? QuorPassword::encrypt(password) : QuorPassword::encryptWithKeyFile(file, password);
    std::fill(password.begin(), password.end(), '\0');
    if (text.empty()) {
      rt.Error("cannot encipher: no usable key file (see --key-file, --create-key)");
      return;
    }
    rt.PrintResult({{"ok", true}, {"encrypted_password", text}}, text);
  });
}
