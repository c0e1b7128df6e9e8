#pragma once
// What a caller's value must look like before it may become part of a request's URI, header
// lines or body.
#include <string>

namespace isilon {

// True when the text holds a NUL byte anywhere. The transport, the cluster and the host's own
// services read texts as C strings: a NUL would cut the value short there, so that it names
// another object ("data\0-old" would be the share "data"). Such a value is refused.
inline bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }
template <typename... Texts>
bool AnyHasNul(const Texts&... texts) {
  return (HasNul(texts) || ...);
}
// The same for every text of a list or set.
template <typename Texts>
bool AnyHasNulIn(const Texts& texts) {
  for (const std::string& text : texts) {
    if (HasNul(text)) return true;
  }
  return false;
}

// A value that becomes one segment of a URI path: not empty-checked here, but no "/" and no
// NUL, and not "." or "..", which would name another resource once the URI is normalised.
bool IsSingleSegment(const std::string& value);
// A path in the cluster's namespace: begins with "/", has no "." or ".." segment and no NUL.
bool IsNamespacePath(const std::string& path);
// The name of an entry that a directory listing handed out, as it may be appended to the
// directory's path to read it: not "", "." or "..", and no "/" or NUL.
bool IsChildName(const std::string& name);
// A resume token that goes back into a query as it is: no NUL, control byte, blank, "#" or
// "&" (which would end the query or add parameters to it).
bool IsQueryToken(const std::string& token);
// True when the path of `uri` (before any "?" or "#") has a "." or ".." segment, written
// plainly or percent-encoded.
bool HasDotSegment(const std::string& uri);
// A URI the transport can send as it is: no NUL, no other control byte and no blank, each of
// which would cut the URI short or break the request line.
bool IsSendableUri(const std::string& uri);
// One header line: no NUL, CR or LF, so that it stays the one line it claims to be.
bool IsHeaderLine(const std::string& line);
// UrlEncode, and besides every control byte but NUL as "%" and two hex digits: a file name may
// hold a line feed or a tab, which the cluster takes encoded but no request line can carry
// raw. A NUL stays as it is, so that IsSendableUri refuses the URI.
std::string EncodeUriPiece(const std::string& text);
// A bare host name, IPv4 address or IPv6 address (with or without brackets).
bool IsBareServer(const std::string& server);
// The server as it goes into a URL: an IPv6 address in brackets, anything else unchanged.
std::string ServerForUrl(const std::string& server);
// The text with every control byte written as "\xNN", for messages: a NUL must not end them.
std::string Printable(const std::string& text);

}  // namespace isilon
