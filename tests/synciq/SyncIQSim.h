#pragma once
// The session fixture with the simulator's SyncIQ module at hand; its jobs are there at once and
// run for a minute unless a test says otherwise.
#include <sstream>
#include <string>
#include <vector>

#include "sim/synciq/SyncIQ.h"
#include "tests/support/SimSessionFixture.h"

class SyncIQSim : public SimSessionFixture {
 protected:
  using SimSessionFixture::SimSessionFixture;

  void SetUp() override {
    SimSessionFixture::SetUp();
    if (HasFatalFailure()) return;
    isim::synciq::JobTiming timing;
    timing.appearAfter = 0;
    timing.runFor = 60;
    SetTiming(timing);
  }

  isim::synciq::SyncIQModule& siq() { return module<isim::synciq::SyncIQModule>(); }
  void SetTiming(const isim::synciq::JobTiming& timing) {
    isim::synciq::Settings s = siq().settings();
    s.timing = timing;
    siq().setSettings(s);
  }
  void SetPageSize(size_t size) {
    isim::synciq::Settings s = siq().settings();
    s.pageSize = size;
    siq().setSettings(s);
  }

  // A policy that passes every rule for snapshot replication.
  static isim::synciq::Policy FitPolicy(const std::string& name, const std::string& path) {
    isim::synciq::Policy p;
    p.name = name;
    p.sourceRootPath = path;
    p.targetHost = "dr.example.com";
    p.targetPath = "/ifs/dr" + path.substr(4);
    return p;
  }
  std::string AddPolicy(const isim::synciq::Policy& p) {
    std::string id;
    EXPECT_TRUE(siq().addPolicy(p, &id)) << p.name;
    return id;
  }

  // Requests the cluster received, as "METHOD target", optionally only those containing `part`.
  std::vector<std::string> Requests(const std::string& part = std::string()) {
    std::vector<std::string> out;
    for (const auto& e : server().requestLog().entries()) {
      const std::string line = e.method + " " + e.target;
      if (part.empty() || line.find(part) != std::string::npos) out.push_back(line);
    }
    return out;
  }
};

// A report's fields on one line: id|bytes|directories|dirs deleted|files|new files|duration|error|
// state|its kind|target snapshot.
inline std::string Fields(const _IsilonSyncIQJobReportInfo& r) {
  std::ostringstream out;
  out << r.nJobId << '|' << r.nBytesTransferred << '|' << r.nDirectoriesReplicated << '|' << r.nDirsDeleted << '|'
      << r.nFilesTransferred << '|' << r.nNewFilesReplicated << '|' << r.nDuration << '|' << r.strError << '|'
      << r.strState << '|' << r.eState << '|' << r.strTargetSnapshot;
  return out.str();
}
