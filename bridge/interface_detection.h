// Finding the local IPv4 address that reaches a host.
#ifndef BRIDGE_INTERFACE_DETECTION_H_
#define BRIDGE_INTERFACE_DETECTION_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace duzavide {

// Returns, as dotted text, the local IPv4 address the system would use as the source
// when sending to `host` (a name or an IPv4 literal), or "" when the host has no IPv4
// address or no route; `failure` (if given) then says why. `server` (if given)
// receives the host's IPv4 address that was used (host byte order), so that a
// later check can find the route again without another name lookup. Resolves the
// name with the system resolver; sends nothing. Windows Sockets must be started.
// With `cancel` (a manual-reset event), the lookup runs on a thread of its own and
// the call returns "" as soon as `cancel` is set, whatever the resolver does.
std::string DetectActiveIPv4Address(const std::string& host, std::string* failure = nullptr,
                                    uint32_t* server = nullptr, HANDLE cancel = nullptr);

}  // namespace duzavide

#endif  // BRIDGE_INTERFACE_DETECTION_H_
