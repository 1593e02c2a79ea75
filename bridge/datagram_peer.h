// DatagramPeer decides which datagrams the bridge accepts and where returning
// datagrams go.
//
// Only a datagram whose source the given test calls this machine is accepted (see
// LocalSources): anything else could redirect the tunnel's returning traffic or
// inject frames, so it is neither framed nor allowed to change the peer. The peer is
// the source (address and port) of the most recent accepted datagram.
#ifndef BRIDGE_DATAGRAM_PEER_H_
#define BRIDGE_DATAGRAM_PEER_H_

#include <winsock2.h>

#include <functional>
#include <utility>

namespace duzavide {

class DatagramPeer {
 public:
  using SourceTest = std::function<bool(in_addr source)>;

  explicit DatagramPeer(SourceTest is_local) : is_local_(std::move(is_local)) {}

  // `source` and `source_size` as filled by recvfrom. True (and the source becomes
  // the peer) when the datagram may be relayed.
  bool Accept(const sockaddr_in& source, int source_size) {
    if (source_size < static_cast<int>(sizeof(source)) || source.sin_family != AF_INET ||
        !is_local_(source.sin_addr)) {
      return false;
    }
    address_ = source;
    known_ = true;
    return true;
  }

  bool known() const { return known_; }
  const sockaddr_in& address() const { return address_; }

 private:
  SourceTest is_local_;
  sockaddr_in address_{};
  bool known_ = false;
};

}  // namespace duzavide

#endif  // BRIDGE_DATAGRAM_PEER_H_
