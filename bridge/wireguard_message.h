// What a WireGuard datagram is, as far as the bridge needs to know: whether its
// peer owes it an answer. Pure, header-only; any thread.
#ifndef BRIDGE_WIREGUARD_MESSAGE_H_
#define BRIDGE_WIREGUARD_MESSAGE_H_

#include <cstddef>
#include <cstdint>

namespace duzavide {

// A handshake initiation (type 1) is answered at once by a live peer, and a data
// message that carries data (type 4, longer than the 32 bytes of an empty one)
// within the peer's passive keepalive time. A keepalive (an empty data message)
// and everything else are not answered.
inline bool CallsForAnAnswer(const uint8_t* datagram, size_t size) {
  constexpr size_t kEmptyDataMessage = 32;
  if (size < 4) return false;
  // The type is the first byte; the three after it are zero.
  if (datagram[1] != 0 || datagram[2] != 0 || datagram[3] != 0) return false;
  return datagram[0] == 1 || (datagram[0] == 4 && size > kEmptyDataMessage);
}

}  // namespace duzavide

#endif  // BRIDGE_WIREGUARD_MESSAGE_H_
