// The replies of armed faults.
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <algorithm>

#include "sim/core/ServerImpl.h"

namespace isim {

namespace {
int socketOf(const httplib::Request& in) { return in.ssl ? SSL_get_fd(in.ssl) : -1; }

void cutConnection(int fd) {
  // shutdown, not close: the server library still owns the descriptor and closes it.
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

std::string orDefault(const std::string& value, const char* fallback) { return value.empty() ? fallback : value; }
}  // namespace

int Server::Impl::applyFault(const Fault& fault, const httplib::Request& in, httplib::Response& out) {
  const int status = fault.status;
  for (const auto& h : fault.headers) out.headers.emplace(h.first, h.second);
  switch (fault.kind) {
    case FaultKind::kError:
      out.status = status ? status : 500;
      out.set_content(fault.body.empty() ? errorBody("AEC_EXCEPTION", "Injected fault") : fault.body,
                      orDefault(fault.contentType, "application/json"));
      return out.status;
    case FaultKind::kNotJson:
      out.status = status ? status : 200;
      out.set_content(
          fault.body.empty() ? std::string("<html><body>Service temporarily unavailable</body></html>") : fault.body,
          orDefault(fault.contentType, "text/html"));
      return out.status;
    case FaultKind::kReplace:
      out.status = status ? status : 200;
      out.set_content(fault.body, orDefault(fault.contentType, "application/json"));
      return out.status;
    case FaultKind::kTruncate: {
      out.status = status ? status : 200;
      const std::string sent = fault.body;
      uint64_t declared = fault.size ? fault.size : sent.size() + 64;
      if (declared <= sent.size()) declared = sent.size() + 1;
      const int fd = socketOf(in);
      out.set_content_provider(static_cast<size_t>(declared), orDefault(fault.contentType, "application/json"),
                               [sent, fd](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset == 0 && !sent.empty()) sink.write(sent.data(), sent.size());
                                 cutConnection(fd);
                                 return false;  // the rest never comes
                               });
      return out.status;
    }
    case FaultKind::kHugeBody: {
      out.status = status ? status : 200;
      const std::string prefix = fault.body;
      const std::string fill = fault.fill.empty() ? std::string("x") : fault.fill;
      const uint64_t total = fault.size;
      if (total == 0) {
        out.set_content(std::string(), orDefault(fault.contentType, "application/json"));
        return out.status;
      }
      const size_t kChunk = 64 * 1024;
      // The fill pattern repeated past one chunk, so that any chunk is one copy from it.
      std::string tile;
      while (tile.size() < kChunk + fill.size()) tile += fill;
      // The body from `offset` on, at most `length` bytes and one bounded chunk per call, so
      // that the body is never held in memory.
      const auto piece = [prefix, fill, tile, total, kChunk](uint64_t offset, uint64_t length) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>({length, kChunk, total - offset}));
        std::string data;
        data.reserve(chunk);
        if (offset < prefix.size()) data.append(prefix, offset, std::min<uint64_t>(chunk, prefix.size() - offset));
        if (data.size() < chunk) {
          const uint64_t p = offset + data.size() - prefix.size();
          data.append(tile, static_cast<size_t>(p % fill.size()), chunk - data.size());
        }
        return data;
      };
      const std::string type = orDefault(fault.contentType, "application/json");
      if (fault.chunked) {
        out.set_chunked_content_provider(type, [piece, total](size_t offset, httplib::DataSink& sink) {
          if (offset >= total) {
            sink.done();
            return true;
          }
          const std::string data = piece(offset, total - offset);
          return sink.write(data.data(), data.size());
        });
      } else {
        out.set_content_provider(static_cast<size_t>(total), type,
                                 [piece](size_t offset, size_t length, httplib::DataSink& sink) {
                                   const std::string data = piece(offset, length);
                                   return sink.write(data.data(), data.size());
                                 });
      }
      return out.status;
    }
    case FaultKind::kCloseBeforeReply:
    case FaultKind::kCloseAfterChange:
      cutConnection(socketOf(in));
      out.status = 500;
      return 0;
    case FaultKind::kCloseMidReply: {
      // Headers, then a chunk that stops halfway: the reply cannot be taken as complete.
      static const char kStart[] =
          "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"
          "40\r\n{\"errors\":[{\"code\":\"AEC_";
      if (in.ssl) SSL_write(const_cast<SSL*>(in.ssl), kStart, sizeof kStart - 1);
      cutConnection(socketOf(in));
      out.status = 500;
      return 0;
    }
    case FaultKind::kDelay:
    case FaultKind::kTagged: break;
  }
  return 0;
}

int Server::Impl::applyRandomFault(RandomFaults::Pick pick, const httplib::Request& in, httplib::Response& out) {
  if (pick == RandomFaults::Pick::kReset) {
    cutConnection(socketOf(in));
    out.status = 500;
    return 0;
  }
  const int retryAfter = server.config().faultRetryAfter;
  return applyFault(Fault::retryLater(std::string(), 503, retryAfter > 0 ? retryAfter : -1), in, out);
}

}  // namespace isim
