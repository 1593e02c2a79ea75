#ifndef CONFIG_SHARE_LINK_H_
#define CONFIG_SHARE_LINK_H_

#include <map>
#include <optional>
#include <string>

namespace duzavide {

// A parsed "vless://" share link. Every field is a byte string exactly as it
// appeared in the link: nothing is percent-decoded, trimmed, case-folded or
// validated (in particular `port` is text and may be empty or non-numeric).
struct ShareLink {
  std::string id;       // Text before the first '@'.
  std::string address;  // Host-and-port text up to its first ':'.
  std::string port;     // Text after that ':', or "8720" when there is none.
  // Query parameters; a key given twice keeps its last value.
  std::map<std::string, std::string> parameters;

  // Transport settings derived from `parameters`. A key that is present wins
  // even with an empty value; where two keys exist the short one wins.
  std::string encryption;   // "encryption", default "none".
  std::string flow;         // "flow", default "xtls-rprx-vision".
  std::string security;     // "security", default "reality".
  std::string publicKey;    // "pbk", else "publicKey", default empty.
  std::string shortId;      // "sid", else "shortId", default empty.
  std::string spiderX;      // "spx", else "spiderX", default empty.
  std::string fingerprint;  // "fp", else "fingerprint", default "chrome".
  std::string serverName;   // "sni", else "serverName", default `address`.
};

// Parses `link` (surrounding " \t\r\n" removed, an optional lower-case
// "vless://" prefix dropped). Fails only when the remaining text lacks an '@'
// or a '?'. Pure function, safe from any thread.
std::optional<ShareLink> ParseShareLink(const std::string& link);

}  // namespace duzavide

#endif  // CONFIG_SHARE_LINK_H_
