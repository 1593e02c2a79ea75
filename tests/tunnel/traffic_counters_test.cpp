// The traffic figures: growth over the baselines, and the system's interface sums.
#include "tunnel/traffic_counters.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace duzavide {
namespace {

TEST(TrafficCountersTest, GrowthOverBaselineAndBelowReadsZero) {
  struct Case {
    uint64_t received, sent, base_received, base_sent, down, up;
  } cases[] = {
      {100, 50, 40, 10, 60, 40},
      {40, 10, 40, 10, 0, 0},                          // equal to baseline
      {30, 5, 40, 10, 0, 0},                           // below baseline (interface went away)
      {30, 20, 40, 10, 0, 10},                         // one direction below, the other above
      {0x100000010ULL, 0, 0xFFFFFFF0ULL, 0, 0x20, 0},  // beyond 32 bits, no wrap
      {~0ULL, ~0ULL, 0, 1, ~0ULL, ~0ULL - 1},
  };
  for (const auto& c : cases) {
    TrafficCounters counters =
        TrafficSinceBaseline(c.received, c.sent, c.base_received, c.base_sent);
    EXPECT_EQ(counters.downlink_bytes, c.down);
    EXPECT_EQ(counters.uplink_bytes, c.up);
  }
}

TEST(TrafficCountersTest, InterfaceSumsAreReadable) {
  uint64_t received = 1;
  uint64_t sent = 1;
  ASSERT_TRUE(SumInterfaceOctets(&received, &sent));
  uint64_t received_later = 0;
  uint64_t sent_later = 0;
  ASSERT_TRUE(SumInterfaceOctets(&received_later, &sent_later));
  EXPECT_GE(received_later, received);
  EXPECT_GE(sent_later, sent);
}

}  // namespace
}  // namespace duzavide
