#pragma once
// What a caller's value must look like before it may become part of a request's URI.
#include <string>

namespace isilon {

// A value that becomes one segment of a URI path: not empty-checked here, but no "/" and not
// "." or "..", which would name another resource once the URI is normalised.
bool IsSingleSegment(const std::string& value);
// A path in the cluster's namespace: begins with "/" and has no "." or ".." segment.
bool IsNamespacePath(const std::string& path);
// True when the path of `uri` (before any "?" or "#") has a "." or ".." segment, written
// plainly or percent-encoded.
bool HasDotSegment(const std::string& uri);
// A bare host name, IPv4 address or IPv6 address (with or without brackets).
bool IsBareServer(const std::string& server);
// The server as it goes into a URL: an IPv6 address in brackets, anything else unchanged.
std::string ServerForUrl(const std::string& server);

}  // namespace isilon
