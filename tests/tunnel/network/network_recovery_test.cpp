// The recovery's rules with a fake tunnel and a fake clock: what each event does,
// the retry backoff, and the re-checks after a resume.
#include "tunnel/network/network_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace duzavide {
namespace {

using Reason = NetworkRecovery::RecheckReason;

constexpr char kFailure[] = "core's first second: the core ended with exit code 3 (see its output)";

// Records what the recovery did, in order: its lines, and "stop" / "reconnect".
class FakeTunnel final : public RecoveryActions {
 public:
  bool Reconnect(RunPath* run, std::string* failure) override {
    log.push_back("reconnect");
    now_ms += 1200;
    if (cancel_while_reconnecting) cancelled = true;
    if (!reconnects || cancel_while_reconnecting) {
      *failure = kFailure;
      return false;
    }
    run->server = 0xCB007105;
    run->local_address = path ? path->local_address : "";
    run->detected = path;
    return true;
  }
  void Stop() override { log.push_back("stop"); }
  std::optional<NetworkPath> ReadPath(uint32_t, const std::string&) override {
    reads_at.push_back(now_ms);
    if (path_at) path = path_at(now_ms);
    return path;
  }
  int64_t NowMs() override { return now_ms; }
  bool Cancelled() override { return cancelled; }
  void WriteLine(const std::string& line) override { log.push_back(line); }

  std::optional<NetworkPath> path = NetworkPath{true, "192.168.1.10"};
  std::function<NetworkPath(int64_t now_ms)> path_at;  // when set, the path over time
  bool reconnects = true;
  bool cancelled = false;
  bool cancel_while_reconnecting = false;
  int64_t now_ms = 0;
  std::vector<std::string> log;
  std::vector<int64_t> reads_at;
};

struct Harness {
  Harness() {
    RunPath run{0xCB007105, "192.168.1.10", tunnel.path};
    recovery.OnConnected(run, 0);
  }
  // Runs whatever falls due up to `end_ms`, the clock following.
  void RunUntil(int64_t end_ms) {
    for (std::optional<int64_t> due = recovery.next_due_ms(); due && *due <= end_ms;
         due = recovery.next_due_ms()) {
      tunnel.now_ms = std::max(tunnel.now_ms, *due);
      recovery.RunDue(tunnel.now_ms);
    }
  }
  FakeTunnel tunnel;
  NetworkRecovery recovery{&tunnel};
};

const NetworkPath kOffline{false, ""};
const NetworkPath kEthernet{true, "10.0.0.7"};
const char kChanged[] = "[host] network changed (192.168.1.10 -> 10.0.0.7); reconnecting";
const char kReconnected[] = "[host] reconnected in 1200 ms";
const char kWaiting[] = "[host] network unavailable; waiting";

TEST(NetworkRecoveryTest, EachEventDoesWhatItShould) {
  struct Case {
    const char* name;
    std::function<void(Harness&)> act;
    std::vector<std::string> log;
    bool recovering;
  } cases[] = {
      {"nothing changed", [](Harness& h) { h.RunUntil(10000); }, {}, false},
      {"a failed table read is no change",
       [](Harness& h) {
         h.tunnel.path.reset();
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
       },
       {},
       false},
      {"an address change",
       [](Harness& h) {
         h.tunnel.path = kEthernet;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
       },
       {kChanged, "reconnect", kReconnected},
       false},
      {"a bridge in trouble on the same path",
       [](Harness& h) { h.recovery.Recheck(Reason::kBridgeTrouble, 0); },
       {"[host] network changed (192.168.1.10 -> 192.168.1.10); reconnecting", "reconnect",
        kReconnected},
       false},
      {"offline: one stop, no attempt while it lasts, then the way back",
       [](Harness& h) {
         h.tunnel.path = kOffline;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
         h.RunUntil(5000);
         EXPECT_EQ(h.recovery.next_due_ms(), 6000) << "offline, re-checked every second";
         h.tunnel.path = kEthernet;
         h.RunUntil(6000);
       },
       {kWaiting, "stop", kChanged, "reconnect", kReconnected},
       false},
      {"an IPv6-only network says why it waits",
       [](Harness& h) {
         h.tunnel.path = NetworkPath{false, "", true};
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
       },
       {"[host] network has no IPv4 route; waiting", "stop"},
       true},
      {"a better path while ours still works must hold five seconds",
       [](Harness& h) {
         h.tunnel.path = NetworkPath{true, "10.0.0.7", false, /*in_use_reaches=*/true};
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
         h.recovery.Recheck(Reason::kPeriodic, 3000);
         EXPECT_TRUE(h.tunnel.log.empty());
         h.recovery.Recheck(Reason::kPeriodic, 6000);
       },
       {kChanged, "reconnect", kReconnected},
       false},
      {"a relay that stays silent is not chased: until a connection lasts, each waits",
       [](Harness& h) {
         h.recovery.Recheck(Reason::kRelaySilent, 0);
         h.recovery.Recheck(Reason::kRelaySilent, 10000);
         h.RunUntil(11000);
         h.recovery.Recheck(Reason::kRelaySilent, 80000);
       },
       {"[host] no answer through the tunnel; reconnecting", "reconnect", kReconnected,
        "[host] no answer through the tunnel; reconnecting in 1 s", "reconnect", kReconnected,
        "[host] no answer through the tunnel; reconnecting", "reconnect", kReconnected},
       false},
      {"retrying: the same address waits for its retry, a new one is tried at once",
       [](Harness& h) {
         h.tunnel.reconnects = false;
         h.tunnel.path = kEthernet;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
         h.recovery.Recheck(Reason::kNetworkEvent, 1300);
         h.tunnel.path = NetworkPath{true, "10.0.0.8"};
         h.recovery.Recheck(Reason::kNetworkEvent, 1400);
       },
       {kChanged, "reconnect",
        std::string("[host] reconnect failed -- ") + kFailure + "; retrying in 1 s",
        "[host] network changed (10.0.0.7 -> 10.0.0.8); reconnecting", "reconnect",
        std::string("[host] reconnect failed -- ") + kFailure + "; retrying in 2 s"},
       true},
      {"a disconnect announced before the reconnect",
       [](Harness& h) {
         h.tunnel.cancelled = true;
         h.tunnel.path = kEthernet;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
       },
       {kChanged},
       false},
      {"a reconnect cut short by a disconnect is not retried",
       [](Harness& h) {
         h.tunnel.cancel_while_reconnecting = true;
         h.tunnel.path = kEthernet;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
       },
       {kChanged, "reconnect"},
       false},
      {"a core that ends on its own is connected again",
       [](Harness& h) { EXPECT_TRUE(h.recovery.OnCoreEnded("3", 0)); },
       {"[host] the core ended on its own (exit code 3); reconnecting", "reconnect", kReconnected},
       false},
      {"the fifth end within ten minutes gives up; older ends do not count",
       [](Harness& h) {
         EXPECT_TRUE(h.recovery.OnCoreEnded("1", 0));
         for (int64_t at : {600000, 700000, 800000, 900000}) {
           EXPECT_TRUE(h.recovery.OnCoreEnded("2", at)) << at;
         }
         h.tunnel.log.clear();
         EXPECT_FALSE(h.recovery.OnCoreEnded("7", 1000000));
         EXPECT_EQ(h.recovery.next_due_ms(), std::nullopt);
       },
       {"[host] the core ended 5 times within 10 minutes -- giving up; its last exit code was 7"},
       false},
      {"a core's end between attempts changes nothing",
       [](Harness& h) {
         h.tunnel.reconnects = false;
         h.tunnel.path = kEthernet;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
         EXPECT_TRUE(h.recovery.OnCoreEnded("3", 1300));
       },
       {kChanged, "reconnect",
        std::string("[host] reconnect failed -- ") + kFailure + "; retrying in 1 s"},
       true},
      {"a disconnect ends the retries",
       [](Harness& h) {
         h.tunnel.reconnects = false;
         h.tunnel.path = kEthernet;
         h.recovery.Recheck(Reason::kNetworkEvent, 0);
         h.recovery.OnDisconnected();
         h.recovery.RunDue(120000);
         EXPECT_EQ(h.recovery.next_due_ms(), std::nullopt);
       },
       {kChanged, "reconnect",
        std::string("[host] reconnect failed -- ") + kFailure + "; retrying in 1 s"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    c.act(h);
    EXPECT_EQ(h.tunnel.log, c.log);
    EXPECT_EQ(h.recovery.recovering(), c.recovering);
    EXPECT_FALSE(h.recovery.reconnecting());
  }
}

TEST(NetworkRecoveryTest, FailedAttemptsBackOffAndPeriodicChecksTryNothing) {
  Harness h;
  h.tunnel.reconnects = false;
  h.tunnel.path = kEthernet;
  h.recovery.Recheck(Reason::kNetworkEvent, 0);
  h.RunUntil(200000);
  std::vector<std::string> delays;
  const std::string retrying = "; retrying in ";
  for (const std::string& line : h.tunnel.log) {
    const size_t at = line.find(retrying);
    if (at != std::string::npos) delays.push_back(line.substr(at + retrying.size()));
  }
  const std::vector<std::string> expected = {"1 s",  "2 s",  "4 s",  "8 s",  "15 s", "30 s",
                                             "30 s", "30 s", "30 s", "30 s", "30 s"};
  ASSERT_GE(delays.size(), expected.size());
  delays.resize(expected.size());
  EXPECT_EQ(delays, expected);
  // Each attempt is one "reconnect", one failure line; nothing else tries.
  size_t attempts = 0;
  for (const std::string& entry : h.tunnel.log) attempts += entry == "reconnect" ? 1 : 0;
  EXPECT_EQ(attempts * 2 + 1, h.tunnel.log.size());
}

TEST(NetworkRecoveryTest, AFlappingNetworkCausesFewReconnectsAMinute) {
  const NetworkPath a{true, "192.168.1.10"};
  const NetworkPath b{true, "192.168.1.11"};
  struct Case {
    const char* name;
    bool both_present;  // equal metric, both addresses kept: only the tie changes
    size_t most;
  } cases[] = {{"two addresses at equal metric", true, 0},
               {"each address vanishing in turn", false, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.tunnel.path_at = [&](int64_t now_ms) {
      NetworkPath path = (now_ms / 2000) % 2 == 0 ? a : b;
      path.in_use_reaches = c.both_present;
      return path;
    };
    for (int64_t at = 0; at < 60000; at += 2000) {
      h.RunUntil(at);
      h.tunnel.now_ms = std::max(h.tunnel.now_ms, at);
      h.recovery.Recheck(Reason::kNetworkEvent, h.tunnel.now_ms);
    }
    const size_t reconnects =
        static_cast<size_t>(std::count(h.tunnel.log.begin(), h.tunnel.log.end(), "reconnect"));
    EXPECT_LE(reconnects, c.most);
  }
}

TEST(NetworkRecoveryTest, AResumeChecksAtOnceAndAsTheNetworkComesBack) {
  Harness h;
  h.RunUntil(100000);
  h.tunnel.reads_at.clear();
  h.tunnel.now_ms = 100000;
  h.recovery.OnResume(100000);
  h.RunUntil(130000);
  for (int64_t at : {100000, 101000, 103000, 110000, 130000}) {
    EXPECT_NE(std::find(h.tunnel.reads_at.begin(), h.tunnel.reads_at.end(), at),
              h.tunnel.reads_at.end())
        << "no re-check at " << at;
  }
  EXPECT_TRUE(h.tunnel.log.empty());
}

}  // namespace
}  // namespace duzavide
