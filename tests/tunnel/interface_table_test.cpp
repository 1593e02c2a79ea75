// The system's interface table, as the figures read it.
#include <gtest/gtest.h>

#include <vector>

#include "tunnel/traffic_counters.h"

namespace duzavide {
namespace {

TEST(InterfaceTableTest, IsReadableAndItsLoopbackIsNotCounted) {
  std::vector<InterfaceOctets> rows;
  ASSERT_TRUE(ReadInterfaceOctets(&rows));
  bool loopback = false;
  for (const InterfaceOctets& row : rows) {
    if (row.type == 24) {
      loopback = true;
      EXPECT_FALSE(CountsTowardsTraffic(row));
    }
  }
  EXPECT_TRUE(loopback);
}

}  // namespace
}  // namespace duzavide
