// The route choice around the tunnel's own interface, and the recovery policy
// against the real session and stand-in core, with a network path the test sets.
#include "tunnel/network_recovery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/tunnel/tunnel_session_fixture.h"
#include "tunnel/network/network_path.h"

namespace duzavide::tunnel_test {
namespace {

using Clock = NetworkRecovery::Clock;
using Reason = NetworkRecovery::RecheckReason;
using std::chrono::seconds;

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

TEST(NetworkPathTest, ChoosesTheBestRouteLeavingTheTunnelOut) {
  const uint32_t server = Ip(203, 0, 113, 5);
  const RouteRow wifi_default{2, 0, 0, Ip(192, 168, 1, 1), 35};
  const RouteRow wifi_subnet{2, Ip(192, 168, 1, 0), 24, 0, 35};
  const RouteRow ethernet_default{3, 0, 0, Ip(10, 0, 0, 1), 25};
  // The core's TUN interface takes the default route, whole or in two halves.
  const RouteRow tun_default{7, 0, 0, 0, 5};
  const RouteRow tun_low_half{7, 0, 1, 0, 5};
  const RouteRow tun_high_half{7, Ip(128, 0, 0, 0), 1, 0, 5};
  const AddressRow wifi{2, Ip(192, 168, 1, 10), 24};
  const AddressRow other_wifi{2, Ip(172, 16, 0, 4), 16};
  const AddressRow ethernet{3, Ip(10, 0, 0, 20), 24};
  const AddressRow tun{7, Ip(10, 66, 0, 2), 32};
  const std::vector<RouteRow> with_tunnel = {wifi_default, wifi_subnet, tun_default, tun_low_half,
                                             tun_high_half};
  struct Case {
    const char* name;
    std::vector<RouteRow> routes;
    std::vector<AddressRow> addresses;
    std::set<uint32_t> excluded;
    uint32_t server;
    NetworkPath expected;
  } cases[] = {
      {"the tunnel's routes left out",
       with_tunnel,
       {wifi, tun},
       {7},
       server,
       {true, "192.168.1.10"}},
      {"counted, the tunnel would win", with_tunnel, {wifi, tun}, {}, server, {true, "10.66.0.2"}},
      {"only the tunnel has a default route",
       {wifi_subnet, tun_default},
       {wifi, tun},
       {7},
       server,
       {false, ""}},
      {"the lower metric among equal prefixes",
       {wifi_default, ethernet_default},
       {wifi, ethernet},
       {},
       server,
       {true, "10.0.0.20"}},
      {"the longer prefix before the metric",
       {ethernet_default, wifi_subnet},
       {wifi, ethernet},
       {},
       Ip(192, 168, 1, 77),
       {true, "192.168.1.10"}},
      {"the address beside the next hop",
       {wifi_default},
       {other_wifi, wifi},
       {},
       server,
       {true, "192.168.1.10"}},
      {"a route whose interface has no address",
       {wifi_default},
       {ethernet},
       {},
       server,
       {true, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NetworkPath path = ChooseNetworkPath({c.routes, c.addresses, c.excluded}, c.server);
    EXPECT_EQ(path.has_default_route, c.expected.has_default_route);
    EXPECT_EQ(path.local_address, c.expected.local_address);
  }
}

// The session connects for real; the network path is what the test says it is.
class NetworkRecoveryTest : public TunnelSessionTest {
 protected:
  NetworkRecoveryTest()
      : recovery_(
            session_, [this](uint32_t) { return std::optional<NetworkPath>(path_); },
            [this](const std::string& line) { host_lines_.Add(line); },
            [this] { return cancelled_.load(); }) {}

  void ConnectThroughRelay() {
    ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
    recovery_.OnConnected(LoopbackRequest(relay_.port()), now_);
  }
  // The pid of the core whose start line comes next in the log.
  DWORD NextCorePid() {
    return CorePidFromLog(TakeLogUntil(
        [](const std::string& text) { return Contains(text, "standin-core started"); }));
  }
  bool LastLineStartsWith(const std::string& start) {
    const std::vector<std::string> lines = host_lines_.Lines();
    return !lines.empty() && lines.back().rfind(start, 0) == 0;
  }

  EchoRelay relay_;
  NetworkPath path_{true, "127.0.0.1"};
  LineRecorder host_lines_;
  std::atomic<bool> cancelled_{false};
  NetworkRecovery recovery_;
  Clock::time_point now_ = Clock::now();
};

TEST_F(NetworkRecoveryTest, AnAddressChangeBringsUpANewCoreAndTheFiguresGoOn) {
  ASSERT_NO_FATAL_FAILURE(ConnectThroughRelay());
  const DWORD first_core = NextCorePid();
  // The figures of the first connect, as the recovery takes them at its start.
  session_.set_baselines({1234, 5678});
  recovery_.OnConnected(LoopbackRequest(relay_.port()), now_);
  recovery_.Recheck(Reason::kNetworkEvent, now_);
  EXPECT_TRUE(host_lines_.Lines().empty()) << "nothing changed, nothing happens";

  path_.local_address = "127.0.0.2";
  recovery_.Recheck(Reason::kNetworkEvent, now_);
  const std::vector<std::string> lines = host_lines_.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[host] network changed (127.0.0.1 -> 127.0.0.2); reconnecting");
  EXPECT_TRUE(LastLineStartsWith("[host] reconnected in "));
  EXPECT_TRUE(session_.core_running());
  EXPECT_FALSE(recovery_.recovering());
  const DWORD second_core = NextCorePid();
  EXPECT_NE(second_core, 0u);
  EXPECT_NE(second_core, first_core);
  EXPECT_EQ(session_.baselines().received, 1234u);
  EXPECT_EQ(session_.baselines().sent, 5678u);
  // The new core's datagrams come back through the new bridge.
  EXPECT_FALSE(
      TakeLogUntil([](const std::string& text) { return Contains(text, "standin-pong"); }).empty());
}

TEST_F(NetworkRecoveryTest, AFailedReconnectBacksOffAndADisconnectEndsIt) {
  ASSERT_NO_FATAL_FAILURE(ConnectThroughRelay());
  core_.SetDirectives("exit-at-start 3\n");
  path_.local_address = "127.0.0.2";
  recovery_.Recheck(Reason::kNetworkEvent, now_);
  const std::string failed =
      "[host] reconnect failed -- core's first second: the core ended with exit code 3 (see its "
      "output); retrying in ";
  EXPECT_EQ(host_lines_.Lines().back(), failed + "1 s");
  EXPECT_TRUE(recovery_.recovering());
  for (const char* next : {"2 s", "4 s"}) {
    // Periodic re-checks may come first; they see nothing new and try nothing.
    const size_t before = host_lines_.Lines().size();
    for (int runs = 0; runs < 5 && host_lines_.Lines().size() == before; ++runs) {
      const std::optional<Clock::time_point> due = recovery_.next_due();
      ASSERT_TRUE(due.has_value());
      recovery_.RunDue(*due);
    }
    EXPECT_EQ(host_lines_.Lines().back(), failed + next);
  }
  const size_t lines = host_lines_.Lines().size();
  recovery_.OnDisconnected();
  session_.Disconnect();
  EXPECT_FALSE(recovery_.next_due().has_value());
  recovery_.RunDue(now_ + seconds(120));
  EXPECT_EQ(host_lines_.Lines().size(), lines);
  EXPECT_EQ(CountCoreProcesses(), 0);
}

}  // namespace
}  // namespace duzavide::tunnel_test
