#include "tests/support/Registry.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

ScopedRegistry::ScopedRegistry(const std::string& iniText) {
  if (const char* old = std::getenv("ISILON_REGISTRY")) {
    hadPrevious_ = true;
    previous_ = old;
  }
  char name[] = "/tmp/isilon-registry-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  path_ = name;
  Rewrite(iniText);
  setenv("ISILON_REGISTRY", path_.c_str(), 1);
}

ScopedRegistry::~ScopedRegistry() {
  std::remove(path_.c_str());
  if (hadPrevious_) {
    setenv("ISILON_REGISTRY", previous_.c_str(), 1);
  } else {
    unsetenv("ISILON_REGISTRY");
  }
}

void ScopedRegistry::Rewrite(const std::string& iniText) {
  std::ofstream out(path_, std::ios::trunc);
  out << iniText;
}

TempDir::TempDir() {
  char name[] = "/tmp/isilon-test-XXXXXX";
  if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
