// Small socket helpers shared by the bridge's files.
#ifndef BRIDGE_SOCKET_IO_H_
#define BRIDGE_SOCKET_IO_H_

#include <winsock2.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace duzavide {

// Writes all `size` bytes to a blocking stream socket, repeating partial writes.
// False when a write returns zero or an error.
bool SendAll(SOCKET socket, const uint8_t* data, size_t size);

// Parses strict dotted-decimal IPv4 text ("a.b.c.d").
bool ParseDottedIPv4(const std::string& text, in_addr* address);

}  // namespace duzavide

#endif  // BRIDGE_SOCKET_IO_H_
