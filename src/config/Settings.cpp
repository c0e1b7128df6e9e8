#include "src/config/Settings.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/PlatformInfo.h"

namespace isilon {

// Time-outs and waits are capped at a week: beyond that a value is a typo, and a week of
// seconds still fits every type it is handed to.
const NumberRule kConnectTimeoutRule{"NAS", "nIsilonConnectTimeout", 30, 1, 604800};
const NumberRule kRequestTimeoutRule{"NAS", "nIsilonRequestTimeout", 1800, 1, 604800};
// 64 GiB: far above any listing page, and the byte count stays exact in a 64-bit size.
const NumberRule kMaxReplyRule{"NAS", "nIsilonMaxReplyMiB", 512, 1, 65536};
// 0 means no retries; ten doublings of the first delay already reach the one-minute cap.
const NumberRule kRetryCountRule{"NAS", "nIsilonRetryCount", 2, 0, 10};
const NumberRule kRetryDelayRule{"NAS", "nIsilonRetryDelayMs", 500, 1, 60000};
const NumberRule kJobStatusRetryRule{"~Tarvex", "nIsilonSyncIQJobStatusRetryCount", 20, 1, 86400};
const NumberRule kJobWaitLimitRule{"~Tarvex", "nIsilonSyncIQJobWaitLimit", 3600, 1, 604800};
const NumberRule kChangeListWaitRule{"~Tarvex", "IsilonChangeListGenerationWaitTime", 900, 1, 604800};

long long ApplyRule(const NumberRule& rule, bool present, long long value) {
  if (!present || value < rule.least) return rule.fallback;
  return std::min(value, rule.most);
}

std::vector<std::string> SplitNodeList(const std::string& text) {
  std::vector<std::string> nodes;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    const size_t first = text.find_first_not_of(" \t", begin);
    if (first != std::string::npos && first < end) {
      const size_t last = text.find_last_not_of(" \t", end - 1);
      const std::string node = text.substr(first, last - first + 1);
      if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    }
    begin = end + 1;
  }
  return nodes;
}

namespace {

long long Read(const NumberRule& rule) {
  int value = 0;
  const bool present = QuorPlatformInfo::getRegInt(rule.section, rule.key, &value);
  return ApplyRule(rule, present, value);
}

std::string Text(const char* key) {
  std::string value;
  QuorPlatformInfo::getString("NAS", key, &value);
  return value;
}

bool StartsWith(const std::string& value, char lower) {
  return !value.empty() && (value[0] == lower || value[0] == lower - 'a' + 'A');
}

}  // namespace

Settings Settings::FromRegistry() {
  Settings s;
  s.caFile = Text("sIsilonCAFile");
  s.verifyTLS = !StartsWith(Text("sIsilonVerifyTLS"), 'n');
  s.connectTimeoutSeconds = static_cast<long>(Read(kConnectTimeoutRule));
  s.requestTimeoutSeconds = static_cast<long>(Read(kRequestTimeoutRule));
  s.maxReplyMiB = static_cast<long>(Read(kMaxReplyRule));
  s.traceCopy = StartsWith(Text("sTraceCurl"), 'y');
  s.keyFile = Text("sIsilonKeyFile");
  s.retryCount = static_cast<int>(Read(kRetryCountRule));
  s.retryDelayMs = static_cast<int>(Read(kRetryDelayRule));
  s.nodeAddresses = SplitNodeList(Text("sIsilonNodeAddresses"));
  s.jobStatusRetryCount = static_cast<int>(Read(kJobStatusRetryRule));
  s.jobWaitLimitSeconds = static_cast<int>(Read(kJobWaitLimitRule));
  s.changeListWaitSeconds = static_cast<int>(Read(kChangeListWaitRule));
  return s;
}

void Settings::Apply(const IsilonSessionOptions& options) {
  if (options.caFile) caFile = *options.caFile;
  if (options.verifyTLS) verifyTLS = *options.verifyTLS;
  if (options.connectTimeoutSeconds) {
    connectTimeoutSeconds = static_cast<long>(ApplyRule(kConnectTimeoutRule, true, *options.connectTimeoutSeconds));
  }
  if (options.requestTimeoutSeconds) {
    requestTimeoutSeconds = static_cast<long>(ApplyRule(kRequestTimeoutRule, true, *options.requestTimeoutSeconds));
  }
  if (options.maxReplyMiB) maxReplyMiB = static_cast<long>(ApplyRule(kMaxReplyRule, true, *options.maxReplyMiB));
  if (options.nodeAddresses) {
    std::string joined;
    for (const std::string& node : *options.nodeAddresses) joined += node + ",";
    nodeAddresses = SplitNodeList(joined);
  }
  if (options.retryCount) retryCount = static_cast<int>(ApplyRule(kRetryCountRule, true, *options.retryCount));
  if (options.retryDelayMs) retryDelayMs = static_cast<int>(ApplyRule(kRetryDelayRule, true, *options.retryDelayMs));
}

}  // namespace isilon
