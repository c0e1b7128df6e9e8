#include "tests/support/SimFixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

// Test programs run side by side (ctest -j) and cases of one program may share an address:
// whoever holds the address's lock file serves on it; the others wait their turn.
int LockAddress(const std::string& address) {
  const std::string path = "/tmp/isilon-sim-" + address + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("simulator: cannot open " + path);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      close(fd);
      throw std::runtime_error("simulator: " + address + " stayed busy");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return fd;
}

}  // namespace

SimCluster::SimCluster(const std::string& address, isim::Config config)
    : SimCluster(std::vector<std::string>{address}, std::move(config)) {}

SimCluster::SimCluster(const std::vector<std::string>& addresses, isim::Config config) {
  std::vector<std::string> sorted = addresses;
  std::sort(sorted.begin(), sorted.end());
  try {
    for (const auto& a : sorted) lockFds_.push_back(LockAddress(a));
    config.address = addresses.at(0);
    config.nodeAddresses = addresses.size() > 1 ? addresses : std::vector<std::string>();
    if (config.port == 0) config.port = 8080;
    // ISIM_TEST_NULLS=1 runs every simulator with nulls where the cluster's description allows them.
    const char* nulls = std::getenv("ISIM_TEST_NULLS");
    if (nulls != nullptr && std::string(nulls) == "1") config.nulls = true;
    server_.reset(new isim::Server(std::move(config)));
    std::string error;
    // Another test program may still be letting go of the same address.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_->start(&error)) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("simulator: " + error);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!server_->writeCertificate(cert_.path())) throw std::runtime_error("simulator: cannot write " + cert_.path());
  } catch (...) {
    // No destructor runs for a constructor that throws: the addresses are let go here.
    server_.reset();
    for (int fd : lockFds_) close(fd);
    throw;
  }
}

SimCluster::~SimCluster() {
  server_->stop();
  server_.reset();
  for (int fd : lockFds_) close(fd);  // releases the addresses for the next one
}

void SimFixture::SetUp() {
  try {
    cluster_.reset(new SimCluster(addresses_, config_));
  } catch (const std::exception& e) {
    FAIL() << e.what();
  }
}

void SimFixture::TearDown() {
  const char* check = std::getenv("ISILON_TEST_REPLY_CHECK");
  if (cluster_ && (check == nullptr || std::string(check) != "0")) {
    const auto problems = cluster_->server().replyProblems().entries();
    if (!problems.empty()) {
      std::ostringstream text;
      text << "the simulator gave " << problems.size() << " reply problem(s) against the API description:";
      for (size_t i = 0; i < problems.size() && i < 40; ++i)
        text << "\n  " << problems[i].method << " " << problems[i].path << ": " << problems[i].message;
      if (problems.size() > 40) text << "\n  ...";
      ADD_FAILURE() << text.str();
    }
  }
  cluster_.reset();
}
