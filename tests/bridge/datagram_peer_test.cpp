#include "bridge/datagram_peer.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <chrono>
#include <string>
#include <vector>

#include "bridge/local_sources.h"

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
TEST(DatagramPeerTest, OnlyALocalSourceBecomesThePeer) {
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
  DatagramPeer peer([&](in_addr source) { return source.s_addr == local.s_addr; });
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

in_addr Address(const char* text) { return Source(text, 0).sin_addr; }

// A source not known yet makes the ranges be read again, at most once a second.
TEST(LocalSourcesTest, LearnsNewAddressesButReadsAtMostOnceASecond) {
  std::vector<IPv4Range> ranges = {{0x7F000000u, 0xFF000000u}};
  int reads = 0;
  LocalSources sources(Address("10.0.0.5"), [&] {
    ++reads;
    return ranges;
  });
  const LocalSources::Clock::time_point start = LocalSources::Clock::now();
  struct Step {
    const char* source;
    int at_ms;
    bool local;
    int reads;
  } steps[] = {
      {"10.0.0.5", 0, true, 1},  // the bound address
      {"127.0.0.9", 0, true, 1},
      {"192.168.1.20", 100, false, 1},  // a new adapter's address, too soon to look
      {"192.168.1.20", 1100, true, 2},
      {"203.0.113.9", 1200, false, 2},  // a stranger, too soon after that reading
      {"203.0.113.9", 2300, false, 3},
      {"203.0.113.9", 2400, false, 3},
      {"192.168.1.20", 2500, true, 3},
  };
  ranges.push_back({0xC0A80114u, 0xFFFFFFFFu});  // 192.168.1.20 appears after the first reading
  for (const Step& step : steps) {
    auto now = start + std::chrono::milliseconds(step.at_ms);
    EXPECT_EQ(sources.Contains(Address(step.source), now), step.local)
        << step.source << " at " << step.at_ms;
    EXPECT_EQ(reads, step.reads) << step.source << " at " << step.at_ms;
  }
}

}  // namespace
}  // namespace duzavide
