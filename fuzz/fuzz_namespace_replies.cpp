// Feeds arbitrary bytes to every namespace and cluster reply reader: directory pages, path
// attributes, copy replies, external addresses, node versions and the error replies of each.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  std::string uri, resume;

  IsilonJsonFileList list;
  list.Initialize("127.0.0.40", "/ifs/data/", 1000, "");
  list.ParseResponse(reply);
  std::vector<_IsilonFileInfo> files;
  list.GetFilesInfo(files);
  list.GetResume(resume);
  list.Initialize("127.0.0.40", "/ifs/data/", 1000, resume);
  list.BuildRequest(uri);
  list.ParseError(reply);

  IsilonJsonPathAttributes attributes;
  attributes.Initialize("127.0.0.40", "/ifs/data/a b#%");
  attributes.ParseResponse(reply);
  _IsilonFileInfo info;
  attributes.GetPathAttributes(info);
  attributes.ParseError(reply);

  IsilonJsonCopyFileOrDir copy;
  copy.Initialize("127.0.0.40", "/ifs/a", "/ifs/b", false);
  copy.ParseResponse(reply);
  std::string code, message;
  copy.getError(code, message);
  copy.ParseError(reply);

  IsilonJsonExternalIP ips;
  ips.Initialize("127.0.0.40");
  ips.ParseResponse(reply);
  std::vector<std::string> addresses;
  ips.GetIPInfo(addresses);
  ips.ParseError(reply);

  IsilonJsonVersionInfo version;
  version.Initialize("127.0.0.40");
  std::vector<_IsilonVersionInfo> nodes;
  version.ParseResponse(reply, nodes);
  version.ParseError(reply);
  return 0;
}
