#pragma once
// TLS sessions that transports hand on to each other, so that a connection to a node a
// sibling already reached resumes that handshake instead of doing a full one (no certificate
// chain to verify, no key exchange of its own). Internal to the library.
//
// libcurl takes a cached session only for the same host, port, connect-to address and scheme
// and the same TLS settings (CA file, verification, versions, ciphers): a connection to
// another node, or one that trusts other certificates, does its own full handshake.
#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace isilon {

class TlsSessionCache {
 public:
  // Null when libcurl could not make one; transports then keep no sessions.
  static std::shared_ptr<TlsSessionCache> Make();
  ~TlsSessionCache();
  TlsSessionCache(const TlsSessionCache&) = delete;
  TlsSessionCache& operator=(const TlsSessionCache&) = delete;

  // For CURLOPT_SHARE. Every easy handle given it must be cleaned up before the cache goes.
  CURLSH* Handle() const { return share_; }

 private:
  TlsSessionCache() = default;
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
  static void Unlock(CURL*, curl_lock_data data, void* self);

  CURLSH* share_ = nullptr;
  // Transports on several threads use one cache; libcurl locks each kind of data on its own.
  std::mutex locks_[CURL_LOCK_DATA_LAST];
};

}  // namespace isilon
