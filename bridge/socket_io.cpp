#include "bridge/socket_io.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

namespace duzavide {

bool SendAll(SOCKET socket, const uint8_t* data, size_t size) {
  while (size > 0) {
    int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
    int sent = ::send(socket, reinterpret_cast<const char*>(data), chunk, 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool ParseDottedIPv4(const std::string& text, in_addr* address) {
  // inet_pton accepts exactly four decimal parts; inet_addr would also take
  // shortened and hexadecimal forms.
  if (text.empty() || text.find('\0') != std::string::npos) return false;
  return ::inet_pton(AF_INET, text.c_str(), address) == 1;
}

}  // namespace duzavide
