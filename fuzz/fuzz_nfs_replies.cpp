// Feeds arbitrary bytes to every NFS reply reader: export pages, export creation and deletion,
// and the error replies of each. What must hold: one export per entry of the reply with every
// client list in the reply's order, flags and small ids as sent, a new export's id only from a
// reply that has one, and a second reading that gives the same result.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  const jsonxx::Object object = Read(reply);

  IsilonJsonNFSExportList list;
  list.Initialize("127.0.0.90", 0, "System");
  for (int round = 0; round < 2; ++round) {
    const bool ok = list.ParseResponse(reply);
    std::vector<_IsilonNFSExportInfo> exports;
    std::string resume;
    Check(list.GetExportsInfo(exports));
    list.GetResume(resume);
    bool lists = true;
    for (const jsonxx::Value& entry : ArrayOf(object, "exports").values()) {
      if (!entry.is<jsonxx::Object>()) continue;
      for (const char* key :
           {"paths", "clients", "read_only_clients", "read_write_clients", "root_clients", "security_flavors"}) {
        lists = lists && AbsentOr(entry.get<jsonxx::Object>(), key, jsonxx::Value::ARRAY_);
      }
    }
    Check(ok == (Page(object, "exports") && lists));
    if (!ok) {
      Check(exports.empty() && resume.empty());
      continue;
    }
    Check(resume == Text(object, "resume"));
    const jsonxx::Array& entries = ArrayOf(object, "exports");
    Check(exports.size() == entries.size());
    for (unsigned int i = 0; i < entries.size(); ++i) {
      const jsonxx::Object& entry = Entry(entries, i);
      const _IsilonNFSExportInfo& e = exports[i];
      CheckStrings(e.vPaths, entry, "paths");
      CheckStrings(e.vClients, entry, "clients");
      CheckStrings(e.vReadOnlyClients, entry, "read_only_clients");
      CheckStrings(e.vReadWriteClients, entry, "read_write_clients");
      CheckStrings(e.vRootClients, entry, "root_clients");
      CheckStrings(e.vSecurityFlavors, entry, "security_flavors");
      Check(e.bReadOnly == Flag(entry, "read_only"));
      Check(e.bAllDirs == Flag(entry, "all_dirs"));
      Check(e.strReserved.empty());
      CheckInteger(e.nId, entry, "id");
    }
  }
  std::string uri, body;
  list.BuildRequest(uri, body);
  CheckErrorReply(list, reply);

  IsilonJsonNFSExportCreate create;
  create.Initialize("127.0.0.90", {"/ifs/data"}, _IsilonNFSPermissions(), "", false, true, "");
  const bool created = create.ParseResponse(reply);
  Check(created == (!object.empty() && object.has<jsonxx::Number>("id")));
  if (created) CheckInteger(create.getExportId(), object, "id");
  CheckErrorReply(create, reply);

  IsilonJsonNFSExportDelete remove;
  remove.Initialize("127.0.0.90", 7, "System");
  Check(remove.ParseResponse(reply));
  CheckErrorReply(remove, reply);
  return 0;
}
