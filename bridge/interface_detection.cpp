#include "bridge/interface_detection.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/win_handles.h"
#include "bridge/private_socket.h"

namespace duzavide {
namespace {

// Asks the system which local address it would send from to `target`. A datagram
// socket's connect sends nothing; it only picks the route and the source address.
std::string SourceAddressFor(const addrinfo& target) {
  UniqueSocket probe = OpenPrivateSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (!probe) return std::string();
  if (::connect(probe.Get(), target.ai_addr, static_cast<int>(target.ai_addrlen)) != 0) {
    return std::string();
  }
  sockaddr_in local{};
  int local_size = sizeof(local);
  if (::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&local), &local_size) != 0 ||
      local.sin_family != AF_INET) {
    return std::string();
  }
  char text[22] = {};
  if (::inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text)) == nullptr) return std::string();
  return text;
}

}  // namespace

std::string DetectActiveIPv4Address(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* results = nullptr;
  if (::getaddrinfo(host.c_str(), "443", &hints, &results) != 0 || results == nullptr) {
    return std::string();
  }
  std::string address;
  for (const addrinfo* entry = results; entry != nullptr && address.empty();
       entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    address = SourceAddressFor(*entry);
  }
  ::freeaddrinfo(results);
  return address;
}

}  // namespace duzavide
