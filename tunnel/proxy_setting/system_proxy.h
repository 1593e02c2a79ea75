// The per-connection proxy options of one of the user's connections, through the
// system's internet settings: `connection` names a dial-up or VPN entry as the
// system lists it, empty the default connection. Any thread.
#ifndef TUNNEL_PROXY_SETTING_SYSTEM_PROXY_H_
#define TUNNEL_PROXY_SETTING_SYSTEM_PROXY_H_

#include <cstdint>
#include <string>

#include "tunnel/proxy_setting/proxy_options.h"

namespace duzavide {

// Reads the flags (the connection type as the user set it, or where the system
// refuses that, the connection type), the proxy server, the bypass list, the
// automatic configuration URL and, where the system tells, the automatic
// discovery flags. False, with `failure` saying why, when the flags or the texts
// cannot be read.
bool ReadSystemProxyOptions(const std::wstring& connection, ProxyOptions* options,
                            std::string* failure);

// Sets all of `options` in one call (so no program sees half of them).
bool WriteSystemProxyOptions(const std::wstring& connection, const ProxyOptions& options,
                             std::string* failure);

// Sets only the flags; the texts stay as they are.
bool WriteSystemProxyFlags(const std::wstring& connection, uint32_t flags, std::string* failure);

// Tells the system and the programs that use its settings that they changed, and
// has them read again.
void AnnounceSystemProxyChange();

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_SYSTEM_PROXY_H_
