// The traffic figures, per interface: counted once, carried across changes of
// interface, never going back.
#include "tunnel/traffic_counters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

InterfaceOctets Row(uint64_t luid, uint32_t type, const wchar_t* alias, uint64_t received,
                    uint64_t sent, bool up = true) {
  return InterfaceOctets{luid, type, alias, up, received, sent};
}

TEST(TrafficTallyTest, CountsEachInterfaceOnceAndNeverGoesBack) {
  constexpr uint32_t kEthernet = 6;
  constexpr uint32_t kWifi = 71;
  constexpr uint32_t kProprietaryVirtual = 53;  // what the core's TUN adapter reports
  struct Step {
    const char* name;
    std::vector<InterfaceOctets> rows;
    uint64_t down;
    uint64_t up;
  } steps[] = {
      {"start",
       {Row(1, kWifi, L"Wi-Fi", 1000, 500), Row(9, 24, L"Loopback", 7, 7),
        Row(5, kProprietaryVirtual, L"DuzavideTun", 0, 0)},
       0,
       0},
      {"traffic: the tunnel's own adapter and loopback are not counted",
       {Row(1, kWifi, L"Wi-Fi", 1600, 800), Row(9, 24, L"Loopback", 900, 900),
        Row(5, kProprietaryVirtual, L"DuzavideTun", 5000, 4000),
        Row(6, kProprietaryVirtual, L"duzavidetun 2", 5000, 4000), Row(7, 131, L"Teredo", 300, 300),
        Row(8, kEthernet, L"Down", 300, 300, false)},
       600,
       300},
      {"Wi-Fi goes, Ethernet comes: nothing lost, nothing jumps",
       {Row(2, kEthernet, L"Ethernet", 70000, 70000)},
       600,
       300},
      {"Ethernet carries traffic", {Row(2, kEthernet, L"Ethernet", 70100, 70050)}, 700, 350},
      {"a counter that falls starts again", {Row(2, kEthernet, L"Ethernet", 10, 10)}, 700, 350},
      {"and counts on from there", {Row(2, kEthernet, L"Ethernet", 60, 30)}, 750, 370},
      {"beyond 32 bits",
       {Row(2, kEthernet, L"Ethernet", 0x100000050ULL, 30)},
       750 + 0x100000050ULL - 60,
       370},
  };
  TrafficTally tally;
  bool started = false;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    TrafficCounters counters;
    if (started) {
      counters = tally.Update(step.rows);
    } else {
      tally.Start(step.rows);
      started = true;
    }
    EXPECT_EQ(counters.downlink_bytes, step.down);
    EXPECT_EQ(counters.uplink_bytes, step.up);
  }
}

TEST(TrafficTallyTest, OnlyTheTunnelsOwnNamesAreItsAdapter) {
  struct Case {
    const wchar_t* alias;
    bool tunnel;
  } cases[] = {
      {L"DuzavideTun", true},   {L"DUZAVIDETUN 12", true}, {L"DuzavideTun2", false},
      {L"DuzavideTun ", false}, {L"DuzavideTun x", false}, {L"Duzavide", false},
      {L"Ethernet", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountsTowardsTraffic(Row(1, 6, c.alias, 0, 0)), !c.tunnel)
        << std::wstring(c.alias).size();
  }
}

}  // namespace
}  // namespace duzavide
