#pragma once
// A file in the temporary directory that is removed again when the object goes.
#include <string>

class TempFile {
 public:
  // Creates an empty file (or one holding `contents`) named isilon-XXXXXX + `suffix`.
  explicit TempFile(const std::string& contents = std::string(), const std::string& suffix = std::string());
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  bool write(const std::string& contents) const;
  std::string read() const;

 private:
  std::string path_;
};
