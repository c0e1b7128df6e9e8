// A minimal host: opens a session, shows each node's version and the first page of a
// directory, and closes the session.
//
//   ISILON_PASSWORD=... isilon_example SERVER USER [PATH]
//
// Trust for the cluster's certificate comes from the registry (ISILON_REGISTRY, key
// sIsilonCAFile in [NAS]), as for any host of the library.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"

int main(int argc, char** argv) {
  if (argc < 3 || std::getenv("ISILON_PASSWORD") == nullptr) {
    std::fprintf(stderr, "usage: ISILON_PASSWORD=... %s SERVER USER [PATH]\n", argv[0]);
    return 2;
  }
  ManageIsilon session;
  session.SetFileServer(argv[1]);
  session.SetUser(argv[2]);
  session.SetPasswd(std::getenv("ISILON_PASSWORD"));

  std::string code, message;
  std::vector<_IsilonVersionInfo> nodes;
  const CZemError error = session.GetVersionInfo(nodes);
  if (error.IsError()) {
    session.GetLastError(code, message);
    std::fprintf(stderr, "version: %s [%s] %s\n", error.Message().c_str(), code.c_str(), message.c_str());
    return 1;
  }
  for (const _IsilonVersionInfo& node : nodes) {
    std::printf("node %d: %s %s\n", static_cast<int>(node.nId), node.strRelease.c_str(), node.strBuild.c_str());
  }

  std::vector<_IsilonFileInfo> files;
  std::string resume;
  const std::string path = argc > 3 ? argv[3] : "/ifs";
  if (!session.GetFileList(files, path, resume, 100)) {
    session.GetLastError(code, message);
    std::fprintf(stderr, "list %s: [%s] %s\n", path.c_str(), code.c_str(), message.c_str());
    return 1;
  }
  for (const _IsilonFileInfo& file : files) {
    std::printf("%-9s %12llu %s\n", file.strType.c_str(), static_cast<unsigned long long>(file.nSize),
                file.strName.c_str());
  }
  session.CloseConnection();
  return 0;
}
