#include "bridge/datagram_peer.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

sockaddr_in Source(const char* address, uint16_t port) {
  sockaddr_in source{};
  source.sin_family = AF_INET;
  source.sin_port = htons(port);
  ::inet_pton(AF_INET, address, &source.sin_addr);
  return source;
}

// Feeds datagram sources in order; each step states whether it is accepted and
// which port the peer has afterwards (0: no peer yet).
TEST(DatagramPeerTest, OnlyTheLocalAddressBecomesThePeer) {
  struct Step {
    sockaddr_in source;
    int source_size;
    bool accepted;
    uint16_t peer_port;
  };
  const int full = sizeof(sockaddr_in);
  sockaddr_in wrong_family = Source("10.0.0.5", 1);
  wrong_family.sin_family = AF_INET6;
  const std::vector<Step> steps = {
      {Source("127.0.0.1", 4000), full, false, 0},   // another host before the core
      {Source("10.0.0.5", 5000), full, true, 5000},  // the core
      {Source("10.0.0.6", 5001), full, false, 5000},
      {Source("127.0.0.1", 5002), full, false, 5000},
      {Source("10.0.0.5", 5003), full - 1, false, 5000},  // truncated address
      {wrong_family, full, false, 5000},
      {Source("10.0.0.5", 6000), full, true, 6000},  // the core's port may change
  };
  in_addr local{};
  ::inet_pton(AF_INET, "10.0.0.5", &local);
  DatagramPeer peer(local);
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    EXPECT_EQ(peer.Accept(step.source, step.source_size), step.accepted) << "step " << i;
    EXPECT_EQ(peer.known(), step.peer_port != 0) << "step " << i;
    if (peer.known()) {
      EXPECT_EQ(ntohs(peer.address().sin_port), step.peer_port) << "step " << i;
      EXPECT_EQ(peer.address().sin_addr.s_addr, local.s_addr) << "step " << i;
    }
  }
}

}  // namespace
}  // namespace duzavide
