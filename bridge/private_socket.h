// Sockets that no child process ever receives.
//
// The host starts the proxy core with handle inheritance on; even where it names
// the one handle to pass, a fallback launch passes every inheritable handle. The
// bridge's sockets and the port reservation are created non-inheritable, so no
// launch path can hand them to the core.
#ifndef BRIDGE_PRIVATE_SOCKET_H_
#define BRIDGE_PRIVATE_SOCKET_H_

#include "base/win_handles.h"

namespace duzavide {

// An IPv4 socket of `type` and `protocol` (as for socket()), able to do overlapped
// I/O like a socket() socket, never inherited. Invalid on failure. Windows Sockets
// must be started.
UniqueSocket OpenPrivateSocket(int type, int protocol);

}  // namespace duzavide

#endif  // BRIDGE_PRIVATE_SOCKET_H_
