// Finding the local IPv4 address that reaches a host.
#ifndef BRIDGE_INTERFACE_DETECTION_H_
#define BRIDGE_INTERFACE_DETECTION_H_

#include <cstdint>
#include <string>

namespace duzavide {

// Returns, as dotted text, the local IPv4 address the system would use as the source
// when sending to `host` (a name or an IPv4 literal), or "" when the host has no IPv4
// address or no route; `failure` (if given) then says why. `server` (if given)
// receives the host's IPv4 address that was used (host byte order), so that a
// later check can find the route again without another name lookup. Resolves the
// name with the system resolver; sends nothing. Windows Sockets must be started.
std::string DetectActiveIPv4Address(const std::string& host, std::string* failure = nullptr,
                                    uint32_t* server = nullptr);

}  // namespace duzavide

#endif  // BRIDGE_INTERFACE_DETECTION_H_
