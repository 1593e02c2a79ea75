// Reserving a loopback TCP port for the proxy core's inbound.
#ifndef BRIDGE_LOOPBACK_PORT_H_
#define BRIDGE_LOOPBACK_PORT_H_

#include <cstdint>
#include <optional>
#include <string>

#include "base/win_handles.h"

namespace duzavide {

// A TCP socket bound exclusively to 127.0.0.1, never listening and never inherited
// by a child process. While `socket` is open no other socket can bind `port`; close
// it right before the port's real user binds it.
struct ReservedLoopbackPort {
  UniqueSocket socket;
  uint16_t port = 0;  // host order, never 0
};

// Returns nothing (and leaves no socket open) when the socket cannot be created,
// made exclusive, bound or read back; `failure` (if given) then says why. Windows Sockets must be
// started.
std::optional<ReservedLoopbackPort> ReserveLoopbackTcpPort(std::string* failure = nullptr);

}  // namespace duzavide

#endif  // BRIDGE_LOOPBACK_PORT_H_
