// Parsing IPv4 address text.
#ifndef BRIDGE_IPV4_TEXT_H_
#define BRIDGE_IPV4_TEXT_H_

#include <winsock2.h>

#include <string>

namespace duzavide {

// Parses strict dotted-decimal IPv4 text ("a.b.c.d").
bool ParseDottedIPv4(const std::string& text, in_addr* address);

}  // namespace duzavide

#endif  // BRIDGE_IPV4_TEXT_H_
