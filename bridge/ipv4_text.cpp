#include "bridge/ipv4_text.h"

#include <ws2tcpip.h>

namespace duzavide {

bool ParseDottedIPv4(const std::string& text, in_addr* address) {
  // inet_pton accepts exactly four decimal parts; inet_addr would also take
  // shortened and hexadecimal forms.
  if (text.empty() || text.find('\0') != std::string::npos) return false;
  return ::inet_pton(AF_INET, text.c_str(), address) == 1;
}

}  // namespace duzavide
