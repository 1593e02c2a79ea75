#include "bridge/loopback_port.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/system_error_text.h"
#include "bridge/private_socket.h"

namespace duzavide {

namespace {

std::nullopt_t Failed(const char* what, std::string* failure) {
  if (failure != nullptr) {
    *failure =
        std::string(what) + ": " + SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
  }
  return std::nullopt;
}

}  // namespace

std::optional<ReservedLoopbackPort> ReserveLoopbackTcpPort(std::string* failure) {
  UniqueSocket socket = OpenPrivateSocket(SOCK_STREAM, IPPROTO_TCP);
  if (!socket) return Failed("no socket", failure);
  // Keeps every other socket off the port while we hold it; a reservation that
  // others could share would reserve nothing.
  BOOL exclusive = TRUE;
  if (::setsockopt(socket.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof(exclusive)) != 0) {
    return Failed("the port could not be reserved exclusively", failure);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return Failed("no port on 127.0.0.1", failure);
  }
  sockaddr_in bound{};
  int bound_size = sizeof(bound);
  if (::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
    return Failed("the port could not be read", failure);
  }
  uint16_t port = ntohs(bound.sin_port);
  if (port == 0) {
    if (failure != nullptr) *failure = "the system gave port 0";
    return std::nullopt;
  }
  ReservedLoopbackPort reserved;
  reserved.socket = std::move(socket);
  reserved.port = port;
  return reserved;
}

bool LoopbackTcpPortTaken(uint16_t port) {
  // A plain bind, as the core makes it: an exclusive one would also be refused
  // for the core's own connections still closing on the port.
  UniqueSocket socket = OpenPrivateSocket(SOCK_STREAM, IPPROTO_TCP);
  if (!socket) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    return false;
  }
  // An exclusive holder refuses with "access denied", any other with "in use".
  const int error = ::WSAGetLastError();
  return error == WSAEADDRINUSE || error == WSAEACCES;
}

}  // namespace duzavide
