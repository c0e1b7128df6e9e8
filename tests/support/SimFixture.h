#pragma once
// The simulated cluster for tests: an in-process isim::Server on one loopback address, port
// 8080, with a fresh self-signed certificate written to a temporary file (trust it with
// libcurl's CAINFO, e.g. the registry value sIsilonCAFile).
//
//   class SnapshotTest : public SimFixture {
//    protected:
//     SnapshotTest() : SimFixture("127.0.0.20") {}
//   };
//   TEST_F(SnapshotTest, ...) { server().faults().add(...); ... address(), certPath(), user(), password() }
//
// Give every suite its own addresses: test programs run side by side. A cluster of several
// nodes takes a list of addresses, one per node (SimFixture({"127.0.0.120", "127.0.0.121"})).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/core/Server.h"
#include "tests/support/TempFile.h"

// A started simulator that stops when the object goes.
class SimCluster {
 public:
  // Starts at once; throws std::runtime_error when it cannot. An address still held by a
  // test that is ending is waited for a few seconds.
  explicit SimCluster(const std::string& address, isim::Config config = isim::Config());
  // One node per address (locked in sorted order, so that overlapping sets cannot deadlock).
  explicit SimCluster(const std::vector<std::string>& addresses, isim::Config config = isim::Config());
  ~SimCluster();
  SimCluster(const SimCluster&) = delete;
  SimCluster& operator=(const SimCluster&) = delete;

  isim::Server& server() { return *server_; }
  const std::string& address() const { return server_->address(); }
  // PEM file of the served certificate.
  const std::string& certPath() const { return cert_.path(); }
  // The first account of the configuration (admin / secret unless the config says otherwise).
  const std::string& user() const { return server_->config().users.at(0).first; }
  const std::string& password() const { return server_->config().users.at(0).second; }
  std::string url() const { return server_->baseUrl(); }
  std::string url(size_t node) const { return server_->nodeUrl(node); }

 private:
  std::vector<int> lockFds_;
  std::unique_ptr<isim::Server> server_;
  TempFile cert_{std::string(), ".pem"};
};

// GoogleTest fixture around SimCluster: started in SetUp, stopped in TearDown. The simulator
// checks its replies against the cluster's API description (Config::checkReplies); TearDown
// fails the test when one did not conform, unless ISILON_TEST_REPLY_CHECK=0.
class SimFixture : public ::testing::Test {
 protected:
  explicit SimFixture(std::string address, isim::Config config = isim::Config())
      : SimFixture(std::vector<std::string>{std::move(address)}, std::move(config)) {}
  explicit SimFixture(std::vector<std::string> addresses, isim::Config config = isim::Config())
      : addresses_(std::move(addresses)), config_(std::move(config)) {
    config_.checkReplies = true;
  }

  void SetUp() override;
  void TearDown() override;

  SimCluster& cluster() { return *cluster_; }
  isim::Server& server() { return cluster_->server(); }
  const std::string& address() const { return addresses_.front(); }
  const std::string& certPath() const { return cluster_->certPath(); }
  const std::string& user() const { return cluster_->user(); }
  const std::string& password() const { return cluster_->password(); }
  // Settings for the next SetUp (change them in the derived constructor).
  isim::Config& simConfig() { return config_; }

 private:
  std::vector<std::string> addresses_;
  isim::Config config_;
  std::unique_ptr<SimCluster> cluster_;
};
