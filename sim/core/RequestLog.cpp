#include "sim/core/RequestLog.h"

#include <strings.h>

namespace isim {

bool LoggedRequest::hasHeader(const std::string& name) const {
  for (const auto& h : headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return true;
  return false;
}

std::string LoggedRequest::header(const std::string& name) const {
  for (const auto& h : headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return h.second;
  return std::string();
}

std::string LoggedRequest::path() const { return target.substr(0, target.find('?')); }

uint64_t RequestLog::add(LoggedRequest request) {
  std::lock_guard<std::mutex> lock(mutex_);
  request.sequence = next_++;
  entries_.push_back(std::move(request));
  while (entries_.size() > capacity_) entries_.pop_front();
  return entries_.back().sequence;
}

void RequestLog::setStatus(uint64_t sequence, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Recent entries are at the back; a cleared or dropped entry is simply not found.
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->sequence == sequence) {
      it->status = status;
      return;
    }
    if (it->sequence < sequence) return;
  }
}

std::vector<LoggedRequest> RequestLog::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<LoggedRequest>(entries_.begin(), entries_.end());
}

std::vector<LoggedRequest> RequestLog::find(const std::string& method, const std::string& targetPrefix) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LoggedRequest> out;
  for (const auto& e : entries_)
    if ((method.empty() || e.method == method) && e.target.compare(0, targetPrefix.size(), targetPrefix) == 0)
      out.push_back(e);
  return out;
}

bool RequestLog::last(LoggedRequest& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.empty()) return false;
  out = entries_.back();
  return true;
}

size_t RequestLog::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

void RequestLog::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

void RequestLog::setCapacity(size_t capacity) {
  std::lock_guard<std::mutex> lock(mutex_);
  capacity_ = capacity ? capacity : 1;
  while (entries_.size() > capacity_) entries_.pop_front();
}

}  // namespace isim
