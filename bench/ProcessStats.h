#pragma once
// This process's resident memory and open descriptors, read from /proc, for the long runs that
// must stay flat.
#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

// VmRSS in KiB, or -1.
inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmRSS:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Open descriptors, or -1.
inline long OpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  long count = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the directory's own descriptor
}

}  // namespace bench
