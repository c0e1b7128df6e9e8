#pragma once
/// @file
/// The request classes: each forms one kind of request to the cluster and reads its reply.
///
/// Every operation of ManageIsilon uses one object of one of these classes, in this order:
/// construct, `Initialize(...)`, `BuildRequest(...)`, send, then either `ParseResponse(...)` and
/// the class's getters (a success reply) or ParseError() and getError() (an error reply). The
/// objects send nothing themselves and never block; a host rarely needs them directly, but
/// may use them to form or read a request of its own. One object serves one request on one
/// thread; different objects may be used on different threads at once.
#include <string>
#include <vector>

#include "host/Export.h"

/// One entry of an error reply's "errors" array.
struct ISILON_API _IsilonErrorInfo {
  std::string strCode;     ///< the entry's "code" text, such as "AEC_NOT_FOUND"; empty when absent
  std::string strMessage;  ///< the entry's "message" text; empty when absent
};

/// The base of every request class: the file server that every URI starts with, and the result
/// of reading the cluster's error reply.
///
/// Objects live on the stack of one operation and are never deleted through a base pointer,
/// hence the non-virtual destructor.
class ISILON_API IsilonJsonBase {
 public:
  /// Empty file server, no error.
  IsilonJsonBase();
  ~IsilonJsonBase();

  /// Forms the request: `uri` the whole URL (`https://SERVER:8080/...`), `body` the JSON body
  /// (empty for a request without one). The base version leaves both alone and returns true.
  virtual bool BuildRequest(std::string& uri, std::string& body);
  /// Reads a success reply. The base version only logs it (level 5) and returns true; it serves
  /// the requests whose reply carries nothing the operation needs.
  virtual bool ParseResponse(std::string& response);
  /// Reads an error reply: the "errors" array, or else the reply's own "code" and "message".
  /// @return true when an error code or message was found. False when the reply is not one
  ///         whole JSON object, or holds neither: the code is then "Internal error" and the
  ///         message says why, so that a failure always carries a reason.
  virtual bool ParseError(std::string& response);
  /// The code and message of the first error of the last error reply read (empty before any).
  virtual void getError(std::string& code, std::string& message);
  /// Every entry of the last "errors" array read, in reply order (empty when the reply gave its
  /// error at the top level).
  virtual void getErrorList(std::vector<_IsilonErrorInfo>& list);

 protected:
  std::string strFileServer;                 ///< the cluster's host name or address, as given to Initialize
  std::string strErrorMessage;               ///< message of the first error of the last error reply
  std::string strErrorCode;                  ///< code of the first error of the last error reply
  std::vector<_IsilonErrorInfo> vErrorList;  ///< every entry of the last "errors" array
};

/// Percent-encodes a URI piece: letters, digits, the marks - . _ ! * ( ) and the slash, control
/// characters and the bytes from 0x80 up are kept; every other printable character becomes
/// %%XX. The slash is kept so that a whole path can be encoded at once. `text` is not changed.
ISILON_API std::string UrlEncode(std::string& text);
/// Percent-encodes a URI piece, as UrlEncode(std::string&) does.
ISILON_API std::string UrlEncode(const std::string& text);

#include "isilon/requests/Cluster.h"
#include "isilon/requests/Namespace.h"
#include "isilon/requests/Nfs.h"
#include "isilon/requests/Session.h"
#include "isilon/requests/Smb.h"
#include "isilon/requests/Snapshot.h"
#include "isilon/requests/SyncIQ.h"
