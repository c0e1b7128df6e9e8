#include "tests/support/SimFixture.h"

#include <chrono>
#include <stdexcept>
#include <thread>

SimCluster::SimCluster(const std::string& address, isim::Config config) {
  config.address = address;
  if (config.port == 0) config.port = 8080;
  server_.reset(new isim::Server(std::move(config)));
  std::string error;
  // Another test program may still be letting go of the same address.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server_->start(&error)) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("simulator: " + error);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!server_->writeCertificate(cert_.path())) throw std::runtime_error("simulator: cannot write " + cert_.path());
}

SimCluster::~SimCluster() { server_->stop(); }

void SimFixture::SetUp() {
  try {
    cluster_.reset(new SimCluster(address_, config_));
  } catch (const std::exception& e) {
    FAIL() << e.what();
  }
}

void SimFixture::TearDown() { cluster_.reset(); }
