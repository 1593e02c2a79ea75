#include "bridge/interface_detection.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/ipv4_text.h"
#include "base/system_error_text.h"
#include "base/win_handles.h"
#include "bridge/private_socket.h"

namespace duzavide {
namespace {

std::string SocketError() {
  return SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
}

// Asks the system which local address it would send from to `target`. A datagram
// socket's connect sends nothing; it only picks the route and the source address.
// "" with `failure` set when it cannot tell.
std::string SourceAddressFor(const addrinfo& target, std::string* failure) {
  UniqueSocket probe = OpenPrivateSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (!probe) {
    *failure = "no socket for the route lookup: " + SocketError();
    return std::string();
  }
  if (::connect(probe.Get(), target.ai_addr, static_cast<int>(target.ai_addrlen)) != 0) {
    *failure = "no route: " + SocketError();
    return std::string();
  }
  sockaddr_in local{};
  int local_size = sizeof(local);
  if (::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&local), &local_size) != 0 ||
      local.sin_family != AF_INET) {
    *failure = "the route has no IPv4 source address";
    return std::string();
  }
  return DottedIPv4(ntohl(local.sin_addr.s_addr));
}

}  // namespace

std::string DetectActiveIPv4Address(const std::string& host, std::string* failure,
                                    uint32_t* server) {
  std::string ignored;
  std::string& reason = failure != nullptr ? *failure : ignored;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* results = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), "443", &hints, &results);
  if (lookup != 0 || results == nullptr) {
    reason = "the name lookup of \"" + host + "\" failed: " +
             SystemErrorText(static_cast<unsigned long>(lookup != 0 ? lookup : WSAHOST_NOT_FOUND));
    return std::string();
  }
  std::string address;
  reason = "\"" + host + "\" has no IPv4 address";
  for (const addrinfo* entry = results; entry != nullptr && address.empty();
       entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    address = SourceAddressFor(*entry, &reason);
    if (!address.empty() && server != nullptr) {
      *server = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    }
  }
  ::freeaddrinfo(results);
  if (!address.empty()) reason.clear();
  return address;
}

}  // namespace duzavide
