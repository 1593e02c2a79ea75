// The few values of the core configuration document that the stand-in acts on.
#ifndef STANDINS_CORE_CORE_SETTINGS_H_
#define STANDINS_CORE_CORE_SETTINGS_H_

#include <cstdint>
#include <string>

namespace duzavide::standin {

struct CoreSettings {
  uint16_t listen_port = 0;   // "wg-tcp-in" port, listened on at 127.0.0.1
  std::string relay_address;  // "wg-tcp-in" settings "address"
  uint16_t relay_port = 0;    // "wg-tcp-in" settings "port"
  std::string peer_host;      // "wg-out" first peer "endpoint", before the last colon
  uint16_t peer_port = 0;     // and after it
};

// Parses `document` as JSON and extracts the settings. On failure returns false
// and puts a one-line reason (without line feed) into `error`.
bool ParseCoreSettings(const std::string& document, CoreSettings* settings, std::string* error);

// True when `address` is dotted IPv4 text inside 127.0.0.0/8. The stand-in talks
// to nothing else, but for its WireGuard peer (below).
bool IsLoopbackAddress(const std::string& address);

// True for a loopback address or one of this machine's own IPv4 addresses: a
// datagram sent there stays on the machine. The WireGuard peer (the host's
// bridge) is bound to the address of the active interface.
bool IsThisMachine(const std::string& address);

}  // namespace duzavide::standin

#endif  // STANDINS_CORE_CORE_SETTINGS_H_
