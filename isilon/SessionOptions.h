#pragma once
// Settings of one session, beside the process-wide registry.
#include <optional>
#include <string>
#include <vector>

/// Settings for one ManageIsilon session, for a host that talks to several clusters with
/// different needs (another CA, other time-outs, a node list of its own).
///
/// Every field left unset takes the value of the registry key named in its comment, read with
/// that key's own rule (see the configuration table of the user guide); a field that is set
/// wins over the registry. Values are checked the way the registry's are: a number out of range
/// takes the key's bound or default, as the user guide's table says for that key.
///
/// Hand the options to ManageIsilon::SetSessionOptions before the session opens; an open
/// session keeps the transport it opened with until it is closed or opened again.
struct IsilonSessionOptions {
  /// PEM file of the certificates to trust for this cluster (`sIsilonCAFile`). An empty text
  /// means the system's store.
  std::optional<std::string> caFile;
  /// Whether the cluster's certificate is checked (`sIsilonVerifyTLS`). False is logged as a
  /// warning when the session opens.
  std::optional<bool> verifyTLS;
  /// Seconds allowed to establish a connection (`nIsilonConnectTimeout`).
  std::optional<long> connectTimeoutSeconds;
  /// Seconds allowed for one whole request, reply included (`nIsilonRequestTimeout`).
  std::optional<long> requestTimeoutSeconds;
  /// Largest reply body accepted, in MiB (`nIsilonMaxReplyMiB`); a larger reply fails.
  std::optional<long> maxReplyMiB;
  /// Node addresses used instead of resolving the file server's name (`sIsilonNodeAddresses`).
  /// An empty list means: resolve the name.
  std::optional<std::vector<std::string>> nodeAddresses;
  /// Retries of a request after a transient failure (`nIsilonRetryCount`); 0 sends every
  /// request once.
  std::optional<int> retryCount;
  /// The first retry's back-off in milliseconds, doubled for each further retry
  /// (`nIsilonRetryDelayMs`).
  std::optional<int> retryDelayMs;
};
