// The default HTTP transport over libcurl (OpenSSL build).
#include "host/QuorLibCurl.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "host/LogWriter.h"
#include "src/common/InputChecks.h"
#include "src/config/Settings.h"
#include "src/transport/TlsSessions.h"
#include "src/transport/TransportConfig.h"

namespace {

const char kFn[] = "QuorLibCurl";
// The most a reply's declared length reserves before any of it arrived.
const size_t kMaxReserve = size_t{16} << 20;

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Whether any of the request went out on this transfer. The transfer's pre-transfer time is
// set once connection and TLS handshake are done and the request is about to be written; the
// request size alone may still count an earlier transfer on the same handle.
bool RequestWentOut(CURL* easy) {
  curl_off_t pretransfer = 0;
  long requestBytes = 0;
  if (curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) != CURLE_OK || pretransfer <= 0) return false;
  return curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes) == CURLE_OK && requestBytes > 0;
}

// A TLS handshake the server broke off (reset or closed) rather than one it refused on
// grounds of certificate or protocol.
bool HandshakeCutOff(CURL* easy, const char* errorText) {
  long osErrno = 0;
  if (curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK &&
      (osErrno == ECONNRESET || osErrno == ECONNABORTED || osErrno == EPIPE)) {
    return true;
  }
  return std::strstr(errorText, "reset by peer") != nullptr || std::strstr(errorText, "unexpected eof") != nullptr ||
         std::strstr(errorText, "SSL_ERROR_SYSCALL") != nullptr;
}

// Where a failed transfer stopped: before a connection, before anything was sent, or after.
TransportResult Classify(CURL* easy, CURLcode rc, const char* errorText) {
  switch (rc) {
    case CURLE_COULDNT_CONNECT: return TransportResult::kNoConnection;
    case CURLE_SSL_CONNECT_ERROR:
      // Cut off during the handshake, the request never went out: as a refused connection,
      // another try or another node may do.
      return HandshakeCutOff(easy, errorText) ? TransportResult::kNoConnection : TransportResult::kNotSent;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_OUT_OF_MEMORY: return TransportResult::kNotSent;
    default: break;
  }
  // Any other failure (time-out, reset, closed, truncated): whether the request went out
  // decides whether the server may have acted on it.
  if (!RequestWentOut(easy)) return TransportResult::kNoConnection;
  return rc == CURLE_OPERATION_TIMEDOUT ? TransportResult::kTimedOut : TransportResult::kNoReply;
}

std::mutex g_factoryMutex;
QuorLibCurlFactory g_factory;

}  // namespace

struct QuorLibCurl::Impl {
  CURL* easy = nullptr;
  std::string contentType;
  // The appended lines are the first `headerCount`; the session lays the same ones again
  // before every request, which then find their slots holding them already.
  std::vector<std::string> headers;
  size_t headerCount = 0;
  // libcurl's list of the content type and the lines, set on the handle; built again only
  // when a line changed since.
  curl_slist* headerList = nullptr;
  size_t listedCount = 0;
  bool headersChanged = true;
  std::string body;
  // "Name: value" of the last reply's final header block: the first `replyCount`, their slots
  // (and storage) reused by the next reply.
  std::vector<std::string> replyHeaders;
  size_t replyCount = 0;
  bool bodyTooLarge = false;
  bool outOfMemory = false;
  size_t maxReply = 0;
  long status = 0;
  TransportResult result = TransportResult::kSucceeded;
  std::string lastError;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  bool trace = false;
  bool maySendTwice = false;        // the next request may ride the kept-alive connection
  bool warnedInsecure = false;      // the "verification off" warning goes out once per transport
  curl_slist* connectTo = nullptr;  // CURLOPT_CONNECT_TO entries; kept while the handle uses them
  // Handed over by the session before QuorLibCurlInit; a transport made without one reads the
  // registry when it starts.
  std::unique_ptr<isilon::TransportConfig> preset;
  isilon::TransportConfig config;

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Impl* self = static_cast<Impl*>(user);
    const size_t n = size * count;
    if (self->body.size() + n > self->maxReply) {
      self->bodyTooLarge = true;
      return 0;  // aborts the transfer
    }
    // No exception may cross libcurl's C frames: a reply the process has no memory for fails.
    try {
      // A reply that declares its length is read into storage of that size, allocated once;
      // a declared length is only a hint, so it reserves no more than kMaxReserve up front.
      curl_off_t declared = 0;
      if (self->body.empty() &&
          curl_easy_getinfo(self->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared) == CURLE_OK &&
          declared > static_cast<curl_off_t>(n) && static_cast<size_t>(declared) <= self->maxReply) {
        self->body.reserve(std::min(static_cast<size_t>(declared), kMaxReserve));
      }
      self->body.append(data, n);
    } catch (const std::bad_alloc&) {
      self->outOfMemory = true;
      return 0;  // aborts the transfer
    }
    return n;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    Impl* self = static_cast<Impl*>(user);
    const size_t n = size * count;
    size_t length = n;
    while (length > 0 && (data[length - 1] == '\r' || data[length - 1] == '\n')) --length;
    // A new status line starts a new header block (after 100 Continue, for example).
    if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
      self->replyCount = 0;
      return n;
    }
    if (length == 0) return n;
    try {
      if (self->replyCount < self->replyHeaders.size()) {
        self->replyHeaders[self->replyCount].assign(data, length);
      } else {
        self->replyHeaders.emplace_back(data, length);
      }
    } catch (const std::bad_alloc&) {
      self->outOfMemory = true;
      return 0;  // aborts the transfer
    }
    ++self->replyCount;
    return n;
  }

  static int OnTrace(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    const Impl* self = static_cast<const Impl*>(user);
    const char* kind = nullptr;
    switch (type) {
      case CURLINFO_TEXT: kind = "*"; break;
      case CURLINFO_HEADER_IN: kind = "<"; break;
      case CURLINFO_HEADER_OUT: kind = ">"; break;
      case CURLINFO_DATA_IN: kind = "<data"; break;
      case CURLINFO_DATA_OUT: kind = ">data"; break;
      default: return 0;  // TLS records are not worth tracing
    }
    // Without a filter nothing is traced: the traffic holds the session's secrets.
    if (!self->config.traceFilter) return 0;
    const std::string text = self->config.traceFilter(std::string(data, size));
    EvDebug debug(nullptr);
    debug.DebugLvl(kFn, 7, "%s %s", kind, text.c_str());
    return 0;
  }
};

QuorLibCurl::QuorLibCurl() : impl_(new Impl) {}

QuorLibCurl::~QuorLibCurl() {
  QuorLibCurlDeInit();
  delete impl_;
}

bool QuorLibCurl::QuorLibCurlInit(const char* contentType, bool, bool, QuorLibCurlWriteCallback writeCallback) {
  GlobalInitOnce();
  QuorLibCurlDeInit();
  impl_->easy = curl_easy_init();
  if (impl_->easy == nullptr) {
    impl_->lastError = "curl_easy_init failed";
    return false;
  }
  impl_->contentType = contentType != nullptr ? contentType : "";
  impl_->config =
      impl_->preset ? *impl_->preset : isilon::TransportConfig::FromSettings(isilon::Settings::FromRegistry());
  if (!impl_->config.tlsSessions) impl_->config.tlsSessions = isilon::TlsSessionCache::Make();
  const isilon::TransportConfig& config = impl_->config;
  impl_->maxReply = config.maxReplyBytes;

  CURL* easy = impl_->easy;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  if (config.tlsSessions) curl_easy_setopt(easy, CURLOPT_SHARE, config.tlsSessions->Handle());
  // A session keeps one connection; the handle never holds another idle one.
  curl_easy_setopt(easy, CURLOPT_MAXCONNECTS, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, impl_->errorBuffer);
  if (writeCallback != nullptr) {
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeCallback);
  } else {
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, impl_);
  }
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, impl_);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, config.connectTimeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, config.requestTimeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  // A declared length above the limit fails before any of the body is read.
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(impl_->maxReply));
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https,http");

  if (!config.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, config.caFile.c_str());
  if (!config.verifyTLS) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    if (!impl_->warnedInsecure && g_ptrLogWriter && g_ptrLogWriter->level() >= -1) {
      impl_->warnedInsecure = true;
      g_ptrLogWriter->write(-1, "bool QuorLibCurl::QuorLibCurlInit(const char*, bool, bool, QuorLibCurlWriteCallback)",
                            __LINE__, 0, 0, "%s",
                            "Warning: TLS certificate verification is turned off (sIsilonVerifyTLS).");
    }
  }
  return true;
}

bool QuorLibCurl::QuorLibCurlAppendHeader(_http_hdr_type_, const std::string& line) {
  Impl& s = *impl_;
  if (s.headerCount < s.headers.size() && s.headers[s.headerCount] == line) {
    ++s.headerCount;  // the line this slot held, checked when it came
    return true;
  }
  // A header line must be one "Name: value" line; libcurl takes it as a C string, so a NUL
  // would send only the part before it.
  if (line.empty() || line.find(':') == std::string::npos || !isilon::IsHeaderLine(line)) return false;
  if (s.headerCount < s.headers.size()) {
    s.headers[s.headerCount] = line;
  } else {
    s.headers.push_back(line);
  }
  ++s.headerCount;
  s.headersChanged = true;
  return true;
}

void QuorLibCurl::QuorLibCurlFreeHttpHeaderList() { impl_->headerCount = 0; }

bool QuorLibCurl::QuorLibCurlSendHttpReq(_http_req_type_ type, const std::string& uri, const char* data, size_t length,
                                         bool, const char*) {
  Impl& s = *impl_;
  const bool maySendTwice = s.maySendTwice;
  s.maySendTwice = false;
  s.body.clear();
  s.replyCount = 0;
  s.bodyTooLarge = false;
  s.outOfMemory = false;
  s.status = 0;
  s.result = TransportResult::kNotSent;
  s.lastError.clear();
  s.errorBuffer[0] = '\0';
  if (s.easy == nullptr) {
    s.lastError = "transport not initialised";
    return false;
  }
  // libcurl takes the URL as a C string: with a NUL in it, only the part before would be
  // requested, another resource than the one asked for.
  if (!isilon::IsSendableUri(uri)) {
    s.lastError = "URL holds a NUL, control byte or blank; not sent";
    return false;
  }
  // libcurl sends a request again by itself when a kept-alive connection turns out to be dead;
  // a request that changes something must go out once only, so it gets a connection of its
  // own. The handle stays (its cached CA store with it); with room for one connection, the
  // idle one is closed once the new one is kept.
  const bool ownConnection = type != HTTP_REQ_GET && !maySendTwice;
  if (curl_easy_setopt(s.easy, CURLOPT_FRESH_CONNECT, ownConnection ? 1L : 0L) != CURLE_OK) {
    s.lastError = "cannot ask for a connection of its own";
    return false;
  }
  CURL* easy = s.easy;

  // The content type always goes first. A new list is on the handle before the old one is
  // freed, so libcurl never points at released memory.
  if (s.headersChanged || s.headerCount != s.listedCount) {
    curl_slist* list = nullptr;
    if (!s.contentType.empty()) list = curl_slist_append(list, s.contentType.c_str());
    bool built = s.contentType.empty() || list != nullptr;
    for (size_t i = 0; built && i < s.headerCount; ++i) {
      curl_slist* next = curl_slist_append(list, s.headers[i].c_str());
      built = next != nullptr;
      if (built) list = next;
    }
    if (!built || curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list) != CURLE_OK) {
      curl_slist_free_all(list);
      s.lastError = "out of memory building the header list";
      return false;
    }
    curl_slist_free_all(s.headerList);
    s.headerList = list;
    s.listedCount = s.headerCount;
    s.headersChanged = false;
  }
  curl_easy_setopt(easy, CURLOPT_URL, uri.c_str());

  // Reset the method state left by the previous request before choosing this one.
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
  const char* body = data != nullptr ? data : "";
  const curl_off_t bodyLength = data != nullptr ? static_cast<curl_off_t>(length) : 0;
  switch (type) {
    case HTTP_REQ_GET: break;
    case HTTP_REQ_POST:
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodyLength);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body);
      break;
    case HTTP_REQ_PUT:
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodyLength);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body);
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "PUT");
      break;
    case HTTP_REQ_DELETE:
      if (bodyLength > 0) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodyLength);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body);
      }
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "DELETE");
      break;
    default: s.lastError = "unknown request type"; return false;
  }
  curl_easy_setopt(easy, CURLOPT_VERBOSE, s.trace ? 1L : 0L);
  if (s.trace) {
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &Impl::OnTrace);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &s);
  }

  const CURLcode rc = curl_easy_perform(easy);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &s.status);

  if (rc != CURLE_OK) {
    // Whatever arrived of an incomplete reply is dropped: half a body must never be read as
    // if it were the whole answer.
    s.body.clear();
    if (s.outOfMemory) {
      s.lastError = "out of memory reading the reply";
    } else if (s.bodyTooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
      s.lastError = "reply larger than the limit of " + std::to_string(s.maxReply >> 20) + " MiB (nIsilonMaxReplyMiB)";
    } else {
      s.lastError = s.errorBuffer[0] != '\0' ? s.errorBuffer : curl_easy_strerror(rc);
      // libcurl says only "Couldn't connect"; the system's reason tells a refusal from an
      // unreachable network.
      long osErrno = 0;
      if (rc == CURLE_COULDNT_CONNECT && curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK &&
          osErrno != 0) {
        s.lastError += std::string(" (") + std::strerror(static_cast<int>(osErrno)) + ")";
      }
    }
    s.result = Classify(easy, rc, s.lastError.c_str());
    EvDebug debug(nullptr);
    debug.DebugLvl(kFn, -1, "Request to [%s] failed: %s", uri.c_str(), s.lastError.c_str());
    return false;
  }
  if (s.status < 200 || s.status > 299) {
    s.result = TransportResult::kErrorStatus;
    s.lastError = "HTTP status " + std::to_string(s.status);
    return false;
  }
  s.result = TransportResult::kSucceeded;
  return true;
}

char* QuorLibCurl::GetHttpResponse(unsigned long& code, bool) {
  code = static_cast<unsigned long>(impl_->status);
  if (impl_->body.empty()) return nullptr;
  char* text = static_cast<char*>(std::malloc(impl_->body.size() + 1));
  if (text == nullptr) return nullptr;
  std::memcpy(text, impl_->body.data(), impl_->body.size());
  text[impl_->body.size()] = '\0';
  return text;
}

void QuorLibCurl::TakeResponseBody(std::string& out) {
  out.swap(impl_->body);
  impl_->body.clear();
}

void QuorLibCurl::MaySendTwice() { impl_->maySendTwice = true; }

void QuorLibCurl::Preset(const isilon::TransportConfig& config) {
  impl_->preset.reset(new isilon::TransportConfig(config));
}

bool QuorLibCurl::GetHttpResponseHeaders(const std::string& name, std::vector<std::string>& values) {
  values.clear();
  for (size_t i = 0; i < impl_->replyCount; ++i) {
    const std::string& line = impl_->replyHeaders[i];
    const size_t colon = line.find(':');
    if (colon != name.size() || strncasecmp(line.c_str(), name.c_str(), colon) != 0) continue;
    size_t start = colon + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    values.push_back(line.substr(start));
  }
  return true;
}

void QuorLibCurl::toggleTrace(bool on) { impl_->trace = on; }

void QuorLibCurl::QuorLibCurlDeInit() {
  if (impl_->easy != nullptr) {
    curl_easy_cleanup(impl_->easy);
    impl_->easy = nullptr;
  }
  // The handle has left the cache: the cache may go when the last transport using it goes.
  impl_->config.tlsSessions.reset();
  curl_slist_free_all(impl_->connectTo);
  impl_->connectTo = nullptr;
  curl_slist_free_all(impl_->headerList);
  impl_->headerList = nullptr;
  impl_->listedCount = 0;
  impl_->headersChanged = true;
  impl_->headers.clear();
  impl_->headerCount = 0;
  impl_->body.clear();
  impl_->body.shrink_to_fit();
  impl_->replyHeaders.clear();
  impl_->replyCount = 0;
}

std::string QuorLibCurl::GetLastErrorText() const { return impl_->lastError; }

long QuorLibCurl::GetLastHttpStatus() const { return impl_->status; }

TransportResult QuorLibCurl::GetLastResult() const { return impl_->result; }

bool QuorLibCurl::SetConnectAddress(const std::string& address) {
  if (impl_->easy == nullptr) return false;
  curl_slist_free_all(impl_->connectTo);
  impl_->connectTo = nullptr;
  if (!address.empty()) {
    // Any host, any port: connect to this address on the URL's own port.
    impl_->connectTo = curl_slist_append(nullptr, ("::" + address + ":").c_str());
    if (impl_->connectTo == nullptr) return false;
  }
  return curl_easy_setopt(impl_->easy, CURLOPT_CONNECT_TO, impl_->connectTo) == CURLE_OK;
}

bool QuorLibCurl::SetCAFile(const std::string& path) {
  if (impl_->easy == nullptr || path.empty()) return false;
  // Trust named by the caller turns the checks back on, whatever the registry said.
  return curl_easy_setopt(impl_->easy, CURLOPT_CAINFO, path.c_str()) == CURLE_OK &&
         curl_easy_setopt(impl_->easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
         curl_easy_setopt(impl_->easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
}

void SetTransportFactory(QuorLibCurlFactory factory) {
  std::lock_guard<std::mutex> lock(g_factoryMutex);
  g_factory = std::move(factory);
}

QuorLibCurl* CreateTransport() {
  {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    if (g_factory) return g_factory();
  }
  return new (std::nothrow) QuorLibCurl();
}
