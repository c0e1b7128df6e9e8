// Feeds arbitrary bytes to every namespace and cluster reply reader: directory pages, path
// attributes, copy replies, external addresses, node versions and the error replies of each.
// What must hold: one file record per entry of a directory page with its texts and small
// numbers as sent, nothing after a refused page, a repeatable reading, and error replies whose
// verdict, first error and list agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  std::string uri, resume;

  const jsonxx::Object object = Read(reply);
  IsilonJsonFileList list;
  list.Initialize("127.0.0.40", "/ifs/data/", 1000, "");
  for (int round = 0; round < 2; ++round) {
    const bool ok = list.ParseResponse(reply);
    std::vector<_IsilonFileInfo> files;
    list.GetFilesInfo(files);
    list.GetResume(resume);
    Check(ok == Page(object, "children"));
    if (!ok) {
      Check(files.empty() && resume.empty());
      continue;
    }
    Check(resume == Text(object, "resume"));
    const jsonxx::Array& children = ArrayOf(object, "children");
    Check(files.size() == children.size());
    for (unsigned int i = 0; i < children.size(); ++i) {
      const jsonxx::Object& entry = Entry(children, i);
      Check(files[i].strName == Text(entry, "name"));
      Check(files[i].strOwner == Text(entry, "owner"));
      Check(files[i].strMode == Text(entry, "mode"));
      Check(files[i].strType == Text(entry, "type"));
      const std::string tail = "/" + files[i].strName;
      Check(files[i].strPath.size() >= tail.size() &&
            files[i].strPath.compare(files[i].strPath.size() - tail.size(), tail.size(), tail) == 0);
      CheckInteger(files[i].nSize, entry, "size");
      CheckInteger(files[i].nMtime, entry, "mtime_val");
    }
  }
  list.Initialize("127.0.0.40", "/ifs/data/", 1000, resume);
  list.BuildRequest(uri);
  CheckErrorReply(list, reply);

  IsilonJsonPathAttributes attributes;
  attributes.Initialize("127.0.0.40", "/ifs/data/a b#%");
  attributes.ParseResponse(reply);
  _IsilonFileInfo info;
  attributes.GetPathAttributes(info);
  CheckErrorReply(attributes, reply);

  IsilonJsonCopyFileOrDir copy;
  copy.Initialize("127.0.0.40", "/ifs/a", "/ifs/b", false);
  copy.ParseResponse(reply);
  std::string code, message;
  copy.getError(code, message);
  CheckErrorReply(copy, reply);

  IsilonJsonExternalIP ips;
  ips.Initialize("127.0.0.40");
  ips.ParseResponse(reply);
  std::vector<std::string> addresses;
  ips.GetIPInfo(addresses);
  CheckErrorReply(ips, reply);

  IsilonJsonVersionInfo version;
  version.Initialize("127.0.0.40");
  std::vector<_IsilonVersionInfo> nodes;
  version.ParseResponse(reply, nodes);
  CheckErrorReply(version, reply);
  return 0;
}
