// The stand-in's "wg-out" outbound: every 500 ms sends the datagram
// "standin-ping <n>" (n = 1, 2, ...) to the peer endpoint and prints
// "standin-pong <payload>" plus a line feed for every datagram that comes back
// from that endpoint. Runs on a detached thread for the rest of the process.
#ifndef STANDINS_CORE_WIREGUARD_PINGER_H_
#define STANDINS_CORE_WIREGUARD_PINGER_H_

#include <cstdint>
#include <string>

namespace duzavide::standin {

// False (with a one-line reason) when the socket cannot be set up. A peer off the
// loopback network is not contacted: the pinger then stays silent.
bool StartWireGuardPinger(const std::string& peer_host, uint16_t peer_port, std::string* error);

}  // namespace duzavide::standin

#endif  // STANDINS_CORE_WIREGUARD_PINGER_H_
