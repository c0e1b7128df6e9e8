#include "src/transport/TransportConfig.h"

#include "src/common/Redact.h"
#include "src/config/Settings.h"

namespace isilon {

TransportConfig TransportConfig::FromSettings(const Settings& settings) {
  TransportConfig config;
  config.caFile = settings.caFile;
  config.verifyTLS = settings.verifyTLS;
  config.connectTimeoutSeconds = settings.connectTimeoutSeconds;
  config.requestTimeoutSeconds = settings.requestTimeoutSeconds;
  config.maxReplyBytes = static_cast<size_t>(settings.maxReplyMiB) << 20;
  config.traceFilter = &RedactSecrets;
  return config;
}

}  // namespace isilon
