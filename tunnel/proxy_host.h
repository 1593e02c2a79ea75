// The proxy server's host as the connect sequence takes it from a share link.
#ifndef TUNNEL_PROXY_HOST_H_
#define TUNNEL_PROXY_HOST_H_

#include <optional>
#include <string>

namespace duzavide {

// Drops a leading "vless://" (case-sensitive), then takes the text after the first
// "@" up to the first "?" (to the end when that "?" lies before the "@") and cuts it
// at its first ":". Nothing when the link has no "@" or no "?"; `failure` (if
// given) then names what is missing.
std::optional<std::string> ProxyHostFromShareLink(const std::string& link,
                                                  std::string* failure = nullptr);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_HOST_H_
