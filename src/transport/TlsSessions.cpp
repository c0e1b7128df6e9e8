#include "src/transport/TlsSessions.h"

namespace isilon {

std::shared_ptr<TlsSessionCache> TlsSessionCache::Make() {
  std::shared_ptr<TlsSessionCache> cache(new TlsSessionCache());
  cache->share_ = curl_share_init();
  if (cache->share_ == nullptr ||
      curl_share_setopt(cache->share_, CURLSHOPT_LOCKFUNC, &TlsSessionCache::Lock) != CURLSHE_OK ||
      curl_share_setopt(cache->share_, CURLSHOPT_UNLOCKFUNC, &TlsSessionCache::Unlock) != CURLSHE_OK ||
      curl_share_setopt(cache->share_, CURLSHOPT_USERDATA, cache.get()) != CURLSHE_OK ||
      curl_share_setopt(cache->share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
    return nullptr;
  }
  return cache;
}

TlsSessionCache::~TlsSessionCache() {
  if (share_ != nullptr) curl_share_cleanup(share_);
}

void TlsSessionCache::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
  if (data >= 0 && data < CURL_LOCK_DATA_LAST) static_cast<TlsSessionCache*>(self)->locks_[data].lock();
}

void TlsSessionCache::Unlock(CURL*, curl_lock_data data, void* self) {
  if (data >= 0 && data < CURL_LOCK_DATA_LAST) static_cast<TlsSessionCache*>(self)->locks_[data].unlock();
}

}  // namespace isilon
