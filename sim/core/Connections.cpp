// Counting a node's open connections, as the kernel sees them: a client that leaves idle
// connections behind shows here however its own bookkeeping looks.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/core/Server.h"

namespace isim {

namespace {

const char kEstablished[] = "01";

// An address column of /proc/net/tcp or tcp6 for `address`:`port` (the kernel prints each
// 32-bit word of the address as a host-order integer).
std::string ProcAddress(const std::string& address, int port, bool& six) {
  char text[64] = {0};
  in_addr v4{};
  in6_addr v6{};
  std::string bare = address;
  if (bare.size() > 2 && bare.front() == '[') bare = bare.substr(1, bare.size() - 2);
  if (inet_pton(AF_INET, bare.c_str(), &v4) == 1) {
    six = false;
    std::snprintf(text, sizeof text, "%08X:%04X", v4.s_addr, static_cast<unsigned>(port));
    return text;
  }
  if (inet_pton(AF_INET6, bare.c_str(), &v6) != 1) return std::string();
  six = true;
  uint32_t words[4];
  static_assert(sizeof words == sizeof v6.s6_addr, "an IPv6 address is four words");
  std::memcpy(words, v6.s6_addr, sizeof words);
  std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", words[0], words[1], words[2], words[3],
                static_cast<unsigned>(port));
  return text;
}

// Established sockets whose local (or remote) address is node `i`'s.
size_t CountEstablished(const Server& server, size_t i, bool atTheNode) {
  if (i >= server.nodeCount()) return 0;
  bool six = false;
  const std::string node = ProcAddress(server.nodeAddress(i), server.port(), six);
  if (node.empty()) return 0;
  std::ifstream table(six ? "/proc/net/tcp6" : "/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column names
  size_t open = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    if (fields >> slot >> local >> remote >> state && (atTheNode ? local : remote) == node && state == kEstablished)
      ++open;
  }
  return open;
}

}  // namespace

size_t Server::nodeConnections(size_t i) const { return CountEstablished(*this, i, /*atTheNode=*/true); }

size_t Server::nodeClientConnections(size_t i) const { return CountEstablished(*this, i, /*atTheNode=*/false); }

}  // namespace isim
