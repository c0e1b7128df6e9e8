#pragma once
// The HTTP transport: one object per session, one libcurl easy handle, so that the
// requests of a session reuse one TLS connection.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/Export.h"

enum _http_hdr_type_ { HTTP_HDR_STANDARD = 0 };
enum _http_req_type_ { HTTP_REQ_GET = 0, HTTP_REQ_POST = 1, HTTP_REQ_PUT = 2, HTTP_REQ_DELETE = 3 };

// How the last request ended, for the session's retry and re-open policies.
enum class TransportResult {
  kSucceeded,     // the server answered with a 2xx status
  kErrorStatus,   // the server answered with another status (GetLastHttpStatus)
  kNoConnection,  // no connection to the server: refused, unreachable, connect time-out
  kNotSent,       // not sent for a reason another try does not mend: name not found, TLS failure
  kNoReply,       // sent, but the connection was reset or closed before a complete reply
  kTimedOut,      // sent, but no complete reply within the time allowed
};

namespace isilon {
class Login;
class Sender;
struct TransportConfig;
}  // namespace isilon

// A host-supplied write callback is accepted for compatibility; the library passes none.
typedef size_t (*QuorLibCurlWriteCallback)(char* data, size_t size, size_t count, void* user);

// The default transport (libcurl) takes its settings from the session that made it: the
// session's options, else the [NAS] section of the registry. One made by a host reads the
// registry when QuorLibCurlInit runs:
//   sIsilonCAFile          PEM file of certificates to trust (default: the system's store)
//   sIsilonVerifyTLS       a value starting with n or N turns certificate checks off
//   nIsilonConnectTimeout  seconds to establish a connection (default 30)
//   nIsilonRequestTimeout  seconds for a whole request (default 1800)
//   nIsilonMaxReplyMiB     largest reply body accepted, in MiB (default 512)
// A host may derive from this class to supply its own transport (see SetTransportFactory).
class ISILON_API QuorLibCurl {
 public:
  QuorLibCurl();
  virtual ~QuorLibCurl();
  QuorLibCurl(const QuorLibCurl&) = delete;
  QuorLibCurl& operator=(const QuorLibCurl&) = delete;

  virtual bool QuorLibCurlInit(const char* contentType, bool keepAlive, bool verbose,
                               QuorLibCurlWriteCallback writeCallback);
  // Adds one full header line ("Name: value") to every following request; "Name:" with
  // nothing after the colon removes that header from the requests instead.
  virtual bool QuorLibCurlAppendHeader(_http_hdr_type_ type, const std::string& line);
  virtual void QuorLibCurlFreeHttpHeaderList();
  // True only when the server answered with a 2xx status. The reply body stays readable
  // after an error status; on a transport failure the cause is in GetLastErrorText().
  virtual bool QuorLibCurlSendHttpReq(_http_req_type_ type, const std::string& uri, const char* data, size_t length,
                                      bool flag, const char* text);
  // The last reply's body as a malloc'ed, zero-terminated text (release with free), or null
  // when it had none. `code` receives the HTTP status (0 when no reply came).
  virtual char* GetHttpResponse(unsigned long& code, bool flag);
  // One entry per header of that name in the last reply (names compared without case).
  virtual bool GetHttpResponseHeaders(const std::string& name, std::vector<std::string>& values);
  virtual void toggleTrace(bool on);
  virtual void QuorLibCurlDeInit();

  // Why the last request failed: libcurl's cause ("Connection refused", "SSL certificate
  // problem: ...", "Operation timed out ..."), "HTTP status N" for an error status, or empty.
  virtual std::string GetLastErrorText() const;
  virtual long GetLastHttpStatus() const;
  virtual TransportResult GetLastResult() const;
  // Connects every following request to `address` (an IPv4 address, or an IPv6 address in
  // brackets) whatever the URL's host resolves to; the URL's host still names the server for
  // TLS and the certificate check. Empty: resolve the URL's host again.
  virtual bool SetConnectAddress(const std::string& address);
  // Trusts the certificates of a PEM file for this transport (after QuorLibCurlInit), in
  // place of sIsilonCAFile, with certificate checks on even when sIsilonVerifyTLS turned them
  // off; for tools that are told what to trust on their command line.
  virtual bool SetCAFile(const std::string& path);

 private:
  friend class isilon::Login;
  friend class isilon::Sender;
  // The last reply's body handed over into `out`, byte for byte, without a copy (what `out`
  // held is dropped; its storage takes the next reply): the library reads its own
  // transport's replies this way.
  ISILON_HIDDEN void TakeResponseBody(std::string& out);
  // The next request, though it is no GET, may go out on the kept-alive connection: one that
  // does no harm when libcurl sends it twice (the logout). Only that request.
  ISILON_HIDDEN void MaySendTwice();
  // The settings and the trace filter the next QuorLibCurlInit applies, in place of the
  // registry's.
  ISILON_HIDDEN void Preset(const isilon::TransportConfig& config);

  struct Impl;
  Impl* impl_;
};

// Lets a host (or a test) supply its own transport objects; null restores the default.
using QuorLibCurlFactory = std::function<QuorLibCurl*()>;
ISILON_API void SetTransportFactory(QuorLibCurlFactory factory);
ISILON_API QuorLibCurl* CreateTransport();
