#pragma once
// Request classes: each forms one kind of request to the cluster and reads its reply.
#include <string>
#include <vector>

#include "host/Export.h"

// One entry of a reply's "errors" array.
struct ISILON_API _IsilonErrorInfo {
  std::string strCode;
  std::string strMessage;
};

// The base of every request class: the file server that every URI starts with, and the
// result of reading the cluster's error reply. Objects live on the stack of one operation
// and are never deleted through a base pointer, hence the non-virtual destructor.
class ISILON_API IsilonJsonBase {
 public:
  IsilonJsonBase();
  ~IsilonJsonBase();

  virtual bool BuildRequest(std::string& uri, std::string& body);
  virtual bool ParseResponse(std::string& response);
  // Reads an error reply; true when an error code or message was found.
  virtual bool ParseError(std::string& response);
  virtual void getError(std::string& code, std::string& message);
  virtual void getErrorList(std::vector<_IsilonErrorInfo>& list);

 protected:
  std::string strFileServer;
  std::string strErrorMessage;
  std::string strErrorCode;
  std::vector<_IsilonErrorInfo> vErrorList;
};

// Percent-encodes a URI piece; "/" is kept so that a whole path can be encoded at once.
ISILON_API std::string UrlEncode(std::string& text);
ISILON_API std::string UrlEncode(const std::string& text);

#include "isilon/requests/Cluster.h"
#include "isilon/requests/Namespace.h"
#include "isilon/requests/Nfs.h"
#include "isilon/requests/Session.h"
#include "isilon/requests/Smb.h"
#include "isilon/requests/Snapshot.h"
#include "isilon/requests/SyncIQ.h"
