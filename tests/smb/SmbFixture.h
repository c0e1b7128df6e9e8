#pragma once
// The session fixture with the simulator's SMB module at hand, and short forms of ACL records.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/smb/SmbModule.h"
#include "tests/support/ModuleSession.h"

// "id|name|type" and "permission/type/trustee", to compare whole ACL lists at once.
inline std::string Text(const _IsilonSMBUser& u) { return Pipe(u.strId, u.strName, u.strType); }
inline std::string Text(const _IsilonSMBPermissions& p) {
  return p.strPermission + "/" + p.strPermissionType + "/" + Text(p.trustee);
}
template <typename T>
std::vector<std::string> Texts(const std::vector<T>& items) {
  std::vector<std::string> out;
  for (const T& item : items) out.push_back(Text(item));
  return out;
}

class SmbFixture : public ModuleSession {
 protected:
  using ModuleSession::ModuleSession;

  isim::SmbModule& smb() { return module<isim::SmbModule>(); }
  // Targets of the requests sent to the share interface so far, in order.
  std::vector<std::string> ShareTargets(const std::string& method) {
    return Targets(method, "/platform/1/protocols/smb/shares");
  }
  void AddShares(const std::string& zone, const std::string& prefix, const std::string& path, int count) {
    for (int i = 0; i < count; ++i) {
      isim::SmbModule::Share share;
      char name[64];
      std::snprintf(name, sizeof name, "%s%03d", prefix.c_str(), i);
      share.name = name;
      share.path = path;
      ASSERT_TRUE(smb().addShare(zone, share)) << name;
    }
  }
};
