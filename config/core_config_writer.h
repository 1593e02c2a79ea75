#ifndef CONFIG_CORE_CONFIG_WRITER_H_
#define CONFIG_CORE_CONFIG_WRITER_H_

#include <cstdint>
#include <string>

#include "config/connect_request.h"

namespace duzavide {

// Builds the proxy core's JSON configuration for one tunnel session: a TUN
// inbound whose traffic enters a WireGuard outbound peered with the bridge's
// UDP socket (`bridge_address`:`bridge_udp_port`), a loopback TCP inbound on
// `core_tcp_port` forwarding the bridge stream to the relay through the VLESS
// server of the request's share link, the DNS section and the routing rules.
//
// Returns the document (UTF-8, '\n' line ends, no line feed after the final
// "}"), or "{}" when the share link does not parse, its port is not a number
// from 1 to 65535, or `private_key`, `address`, `server_public_key` or
// `bridge_address` is empty. Every caller text is JSON-escaped, so no input can
// change the document's structure. Pure function (apart from the one-time
// creation of the built-in DNS tables); safe from any thread.
//
// `server_address`, when given, is where the core connects for the proxy server:
// its address as the caller resolved it, so that the core needs no name lookup of
// its own. The share link's host stays the TLS server name when the link names
// none.
std::string BuildCoreConfig(const ConnectRequest& request, const std::string& bridge_address,
                            uint16_t bridge_udp_port, uint16_t core_tcp_port,
                            const std::string& server_address = std::string());

// Why BuildCoreConfig answers "{}" for this request and bridge address, in words
// for a status line (naming no secret); "" when it can build a document.
std::string CoreConfigProblem(const ConnectRequest& request, const std::string& bridge_address);

}  // namespace duzavide

#endif  // CONFIG_CORE_CONFIG_WRITER_H_
