// Feeds arbitrary bytes to the session and cluster reply readers: login and logout replies,
// external addresses and node versions, and the error replies of each. What must hold: the
// session requests accept any reply body (their outcome is the status), the external addresses
// are every text of a whole array of texts (anything else is refused), one node per entry of the reply with its texts
// and small ids as sent, and repeatable readings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

namespace {

void CheckAddresses(std::string reply) {
  // The addresses are the texts of a whole bare array, or of a whole object's array under the
  // empty key; an empty reply has none; anything else is refused.
  jsonxx::Array bare;
  const jsonxx::Object object = Read(reply);
  const jsonxx::Array* want = nullptr;
  if (jsonxx::ParseWhole(reply, bare)) {
    want = &bare;
  } else if (object.has<jsonxx::Array>("")) {
    want = &object.get<jsonxx::Array>("");
  }
  bool texts = want != nullptr;
  for (unsigned int i = 0; texts && i < want->size(); ++i) texts = want->has<std::string>(i);

  for (int round = 0; round < 2; ++round) {
    IsilonJsonExternalIP ips;
    ips.Initialize("127.0.0.90");
    std::vector<std::string> got;
    const bool ok = ips.ParseResponse(reply);
    Check(ips.GetIPInfo(got));
    Check(ok == (reply.empty() || texts));
    if (!ok || reply.empty()) {
      Check(got.empty());
      continue;
    }
    Check(got.size() == want->size());
    for (unsigned int i = 0; i < got.size(); ++i) Check(got[i] == want->get<std::string>(i));
    if (round == 1) CheckErrorReply(ips, reply);
  }
}

void CheckVersions(std::string reply, const jsonxx::Object& object) {
  IsilonJsonVersionInfo version;
  version.Initialize("127.0.0.90");
  std::vector<_IsilonVersionInfo> nodes(3);
  for (int round = 0; round < 2; ++round) {
    const bool ok = version.ParseResponse(reply, nodes);
    Check(ok == (!object.empty() && AbsentOrArrayOf(object, "nodes", jsonxx::Value::OBJECT_)));
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
