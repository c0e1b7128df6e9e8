#pragma once
/// @file
/// Directory listing, path attributes and server-side copy, through the cluster's namespace
/// interface (`/namespace/ifs/...`).
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

/// One file system entry as the cluster's namespace interface reports it.
struct ISILON_API _IsilonFileInfo {
  std::string strName;   ///< last path component
  std::string strPath;   ///< full cluster path: the listed directory + "/" + strName
  std::string strMode;   ///< permission bits, as text the way the cluster writes them
  std::string strOwner;  ///< owner's name
  std::string strType;   ///< "container" (a directory), "object" (a file), ...
  uint32_t nMtime;       ///< modification time, seconds since 1970 (low 32 bits of the cluster's value)
  uint64_t nSize;        ///< size in bytes

  /// An empty record.
  _IsilonFileInfo() : nMtime(0), nSize(0) {}
  _IsilonFileInfo(const _IsilonFileInfo&) = default;                 ///< Copies every field.
  _IsilonFileInfo(_IsilonFileInfo&&) noexcept = default;             ///< Moves every field.
  _IsilonFileInfo& operator=(const _IsilonFileInfo&) = default;      ///< Copies every field.
  _IsilonFileInfo& operator=(_IsilonFileInfo&&) noexcept = default;  ///< Moves every field.
  /// Empties every text and zeroes both numbers.
  void clear();
};

/// One page of a directory listing: GET `/namespace<path>/` with every entry's name, owner,
/// mode, type, size and modification time, sorted by name.
class ISILON_API IsilonJsonFileList : public IsilonJsonBase {
 public:
  IsilonJsonFileList();
  /// The directory `path` (a cluster path such as "/ifs/data"), at most `limit` entries per
  /// page, and the token of the page to read (empty: the first).
  void Initialize(const std::string& fileServer, const std::string& path, int limit, std::string resume);
  using IsilonJsonBase::BuildRequest;
  /// The page's URI (no body); the path is percent-encoded, the token goes back as received.
  /// @return true
  bool BuildRequest(std::string& uri);
  /// Reads the page's entries and the token of the next page (empty: this was the last).
  /// @return false, with no entries and the token unchanged, when the reply is not one whole
  ///         JSON object with a "children" array of complete entries.
  bool ParseResponse(std::string& response) override;
  /// Moves the entries read into `out` (this object keeps none). @return true
  bool GetFilesInfo(std::vector<_IsilonFileInfo>& out);
  /// The token of the next page: the one given to Initialize until a reply is read.
  void GetResume(std::string& out);

 private:
  std::string strPath;
  std::string resume;  // the token to send, then the one received
  uint64_t nLimit;
  std::vector<_IsilonFileInfo> vFiles;
};

/// The attributes of one path: GET `/namespace<path>/?metadata`.
class ISILON_API IsilonJsonPathAttributes : public IsilonJsonBase {
 public:
  IsilonJsonPathAttributes();
  /// The path (a cluster path) whose attributes to read.
  void Initialize(const std::string& fileServer, const std::string& path);
  /// Reads the name, modification time, owner, mode, type and size from the reply's "attrs";
  /// strPath is the path given to Initialize. An attribute that is missing stays empty or 0.
  /// @return false when the reply is not one whole JSON object with records in "attrs".
  bool ParseResponse(std::string& response) override;
  using IsilonJsonBase::BuildRequest;
  /// The request's URI (no body), the path percent-encoded. @return true
  virtual bool BuildRequest(std::string& uri);
  /// Copies the attributes read into `out`. @return true
  bool GetPathAttributes(_IsilonFileInfo& out);

 private:
  std::string strPath;
  _IsilonFileInfo info;
};

/// A copy done by the cluster itself: PUT `/namespace<target>?overwrite=...` with the source
/// in the header `x-isi-ifs-copy-source`; a directory is copied with everything below it.
class ISILON_API IsilonJsonCopyFileOrDir : public IsilonJsonBase {
 public:
  IsilonJsonCopyFileOrDir();
  /// Copies `source` to `target` (cluster paths); `overwrite` replaces what is at the target.
  void Initialize(const std::string& fileServer, const std::string& source, const std::string& target, bool overwrite);
  using IsilonJsonBase::BuildRequest;
  /// The copy's URI and its extra header lines (there is no body). @return true
  bool BuildRequest(std::string& uri, std::vector<std::string>& headers);
  /// Reads the copy's reply: an empty reply is a success; otherwise the reply's "success" decides,
  /// and each entry of its "copy_errors" becomes an error (getError gives the first).
  /// @return true when the copy succeeded; false for a reply that is not one whole JSON
  ///         object, for an empty "copy_errors" list, or when "success" is not true.
  bool ParseResponse(std::string& response) override;

 private:
  std::string strSource;
  std::string strTarget;
  bool bOverwrite;
};
