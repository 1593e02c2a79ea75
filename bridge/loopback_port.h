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

// Whether another socket holds 127.0.0.1:`port` (host order): a plain bind of it
// is refused as in use. Asked after the port's user has gone, to tell a
// port taken by someone else from any other failure; a socket that could be made
// or bound for another reason counts as not taken. Windows Sockets must be
// started.
bool LoopbackTcpPortTaken(uint16_t port);

}  // namespace duzavide

#endif  // BRIDGE_LOOPBACK_PORT_H_
