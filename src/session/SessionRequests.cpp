// The session's own two requests.
#include "host/DebugLog.h"
#include "isilon/IsilonJSON.h"
#include "src/common/JsonText.h"

using isilon::JsonEscape;

IsilonJsonCreateSession::IsilonJsonCreateSession() {}

void IsilonJsonCreateSession::Initialize(const std::string& fileServer, const std::string& user,
                                         const std::string& password) {
  strFileServer = fileServer;
  strUser = user;
  strPassword = password;
}

// No debug line: the body carries the password. The user's backslashes are already doubled
// by the session; everything else that JSON requires is escaped here, so a password with a
// quote or a backslash logs in instead of breaking the body.
bool IsilonJsonCreateSession::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/session/1/session";
  body = "{";
  body += "\"username\" : \"" + JsonEscape(strUser, /*escapeBackslash=*/false) + "\",";
  body += "\"password\" : \"" + JsonEscape(strPassword) + "\",";
  body += "\"services\" : [\"platform\",\"namespace\"]";
  body += "}";
  return true;
}

IsilonJsonCloseSession::IsilonJsonCloseSession(const std::string& fileServer) { strFileServer = fileServer; }

bool IsilonJsonCloseSession::BuildRequest(std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/session/1/session";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonCloseSession::BuildRequest", 0, "URI :[%s]", uri.c_str());
  return true;
}
