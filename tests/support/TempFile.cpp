#include "tests/support/TempFile.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

TempFile::TempFile(const std::string& contents, const std::string& suffix) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/isilon-XXXXXX" + suffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
  if (fd < 0) throw std::runtime_error("cannot create a temporary file from " + pattern);
  close(fd);
  path_ = name.data();
  if (!contents.empty() && !write(contents)) throw std::runtime_error("cannot write " + path_);
}

TempFile::~TempFile() { unlink(path_.c_str()); }

bool TempFile::write(const std::string& contents) const {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out << contents;
  out.close();
  return static_cast<bool>(out);
}

std::string TempFile::read() const {
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
