// Table tests of the small pure pieces of the tunnel: proxy host extraction, core
// paths and command line, traffic arithmetic.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tunnel/core_executable.h"
#include "tunnel/proxy_host.h"
#include "tunnel/traffic_counters.h"

namespace duzavide {
namespace {

TEST(ProxyHostTest, TakesHostBetweenAtAndQuestionMark) {
  struct Case {
    const char* link;
    std::optional<std::string> host;
  } cases[] = {
      {"vless://user@host.test:443?type=tcp", "host.test"},
      {"vless://user@host.test?type=tcp", "host.test"},
      {"vless://user@127.0.0.1:8443?", "127.0.0.1"},
      {"user@host.test:443?x", "host.test"},          // scheme is optional
      {"VLESS://user@host.test:443?x", "host.test"},  // kept: "@" still found
      {"vless://a?b@host.test:1", "host.test"},       // "?" before "@": to the end
      {"vless://u@h:1?q@r:2", "h"},                   // first "@", first "?"
      {"vless://u@:443?x", ""},                       // empty host passes on
      {"vless://user@host.test:443", std::nullopt},   // no "?"
      {"vless://host.test:443?x", std::nullopt},      // no "@"
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(ProxyHostFromShareLink(c.link), c.host);
  }
}

TEST(CoreExecutableTest, ParentDirectoryAndCommandLine) {
  struct Case {
    const wchar_t* path;
    const wchar_t* parent;
  } cases[] = {
      {L"C:\\Program Files\\Duzavide\\Duzavide.exe", L"C:\\Program Files\\Duzavide"},
      {L"C:\\dir\\\\app.exe", L"C:\\dir"},
      {L"C:/dir/app.exe", L"C:/dir"},
      {L"C:\\app.exe", L"C:"},
      {L"app.exe", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParentDirectory(c.path), c.parent);
  EXPECT_EQ(CoreCommandLine(L"C:\\a b\\xray.exe", L"C:\\d\\config.json"),
            L"\"C:\\a b\\xray.exe\" run -c \"C:\\d\\config.json\"");
}

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
