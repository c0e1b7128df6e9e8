// Feeds arbitrary bytes to the session and cluster reply readers: login and logout replies,
// external addresses and node versions, and the error replies of each. What must hold: the
// session requests accept any reply body (their outcome is the status), every external address
// is a piece of the reply itself, one node per entry of the reply with its texts and small ids
// as sent, and repeatable readings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

namespace {

void CheckAddresses(std::string reply) {
  IsilonJsonExternalIP ips;
  ips.Initialize("127.0.0.90");
  std::vector<std::string> first, second;
  Check(ips.ParseResponse(reply));
  Check(ips.GetIPInfo(first));
  const jsonxx::Object object = Read(reply);
  if (!object.empty()) {
    Check(first.size() == ArraySize(object, ""));
  } else {
    // Picked out of a bare array: quoted pieces of the reply itself, two quotes each.
    Check(first.size() <= reply.size() / 2);
    for (const std::string& address : first) {
      Check(address.size() > 6 && address.find('\n') == std::string::npos);
      Check(reply.find('"' + address + '"') != std::string::npos);
    }
  }

  IsilonJsonExternalIP again;
  again.Initialize("127.0.0.90");
  Check(again.ParseResponse(reply));
  Check(again.GetIPInfo(second));
  Check(first == second);
  CheckErrorReply(ips, reply);
}

void CheckVersions(std::string reply, const jsonxx::Object& object) {
  IsilonJsonVersionInfo version;
  version.Initialize("127.0.0.90");
  std::vector<_IsilonVersionInfo> nodes(3);
  for (int round = 0; round < 2; ++round) {
    const bool ok = version.ParseResponse(reply, nodes);
    Check(ok == !object.empty());
    const jsonxx::Array& entries = ArrayOf(object, "nodes");
    Check(nodes.size() == (ok ? entries.size() : 0));
    for (unsigned int i = 0; i < nodes.size(); ++i) {
      const jsonxx::Object& entry = Entry(entries, i);
      Check(nodes[i].strBuild == Text(entry, "build"));
      Check(nodes[i].strRelease == Text(entry, "release"));
      Check(nodes[i].strRevision == Text(entry, "revision"));
      Check(nodes[i].strType == Text(entry, "type"));
      Check(nodes[i].strVersion == Text(entry, "version"));
      CheckInteger(static_cast<uint32_t>(nodes[i].nId), entry, "id");
    }
  }
  std::string uri;
  version.BuildRequest(uri);
  CheckErrorReply(version, reply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  const jsonxx::Object object = Read(reply);

  IsilonJsonCreateSession login;
  login.Initialize("127.0.0.90", "admin", "secret");
  Check(login.ParseResponse(reply));
  CheckErrorReply(login, reply);

  IsilonJsonCloseSession logout("127.0.0.90");
  Check(logout.ParseResponse(reply));
  CheckErrorReply(logout, reply);

  CheckAddresses(reply);
  CheckVersions(reply, object);
  return 0;
}
