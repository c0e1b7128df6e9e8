#pragma once
// The session fixture with the simulator's SyncIQ module at hand; its jobs are there at once and
// run for a minute unless a test says otherwise.
#include <string>
#include <vector>

#include "sim/synciq/SyncIQ.h"
#include "tests/support/ModuleSession.h"

class SyncIQSim : public ModuleSession {
 protected:
  using ModuleSession::ModuleSession;

  void SetUp() override {
    ModuleSession::SetUp();
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
};

// A report's fields on one line: id|bytes|directories|dirs deleted|files|new files|duration|error|
// state|its kind|target snapshot.
inline std::string Fields(const _IsilonSyncIQJobReportInfo& r) {
  return Pipe(r.nJobId, r.nBytesTransferred, r.nDirectoriesReplicated, r.nDirsDeleted, r.nFilesTransferred,
              r.nNewFilesReplicated, r.nDuration, r.strError, r.strState, r.eState, r.strTargetSnapshot);
}
