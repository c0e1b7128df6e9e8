#pragma once
// A temporary configuration registry for one test: writes the INI text to a temp file and
// points ISILON_REGISTRY at it, restoring the previous value afterwards.
#include <string>

class ScopedRegistry {
 public:
  explicit ScopedRegistry(const std::string& iniText);
  ~ScopedRegistry();
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  void Rewrite(const std::string& iniText);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool hadPrevious_ = false;
  std::string previous_;
};

// A fresh temporary directory, removed with its content afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};
