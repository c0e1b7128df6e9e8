#pragma once
// Directory listing, path attributes and server-side copy.
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// One file system entry as the cluster's namespace interface reports it.
struct ISILON_API _IsilonFileInfo {
  std::string strName;  // last path component
  std::string strPath;  // full cluster path
  std::string strMode;  // permission bits, as the cluster writes them
  std::string strOwner;
  std::string strType;  // "container", "object", ...
  uint32_t nMtime;      // low 32 bits of the cluster's modification time
  uint64_t nSize;

  _IsilonFileInfo() : nMtime(0), nSize(0) {}
  _IsilonFileInfo(const _IsilonFileInfo&) = default;
  _IsilonFileInfo(_IsilonFileInfo&&) noexcept = default;
  _IsilonFileInfo& operator=(const _IsilonFileInfo&) = default;
  _IsilonFileInfo& operator=(_IsilonFileInfo&&) noexcept = default;
  void clear();
};

// One page of a directory listing.
class ISILON_API IsilonJsonFileList : public IsilonJsonBase {
 public:
  IsilonJsonFileList();
  void Initialize(const std::string& fileServer, const std::string& path, int limit, std::string resume);
  using IsilonJsonBase::BuildRequest;
  bool BuildRequest(std::string& uri);
  bool ParseResponse(std::string& response) override;
  bool GetFilesInfo(std::vector<_IsilonFileInfo>& out);
  void GetResume(std::string& out);

 private:
  std::string strPath;
  std::string resume;  // the token to send, then the one received
  uint64_t nLimit;
  std::vector<_IsilonFileInfo> vFiles;
};

// The attributes of one path ("?metadata").
class ISILON_API IsilonJsonPathAttributes : public IsilonJsonBase {
 public:
  IsilonJsonPathAttributes();
  void Initialize(const std::string& fileServer, const std::string& path);
  bool ParseResponse(std::string& response) override;
  using IsilonJsonBase::BuildRequest;
  virtual bool BuildRequest(std::string& uri);
  bool GetPathAttributes(_IsilonFileInfo& out);

 private:
  std::string strPath;
  _IsilonFileInfo info;
};

// A copy done by the cluster itself: the target is in the URI, the source in a header.
class ISILON_API IsilonJsonCopyFileOrDir : public IsilonJsonBase {
 public:
  IsilonJsonCopyFileOrDir();
  void Initialize(const std::string& fileServer, const std::string& source, const std::string& target, bool overwrite);
  using IsilonJsonBase::BuildRequest;
  // Gives the extra header lines of the copy instead of a body.
  bool BuildRequest(std::string& uri, std::vector<std::string>& headers);
  // True when the reply says the copy succeeded.
  bool ParseResponse(std::string& response) override;

 private:
  std::string strSource;
  std::string strTarget;
  bool bOverwrite;
};
