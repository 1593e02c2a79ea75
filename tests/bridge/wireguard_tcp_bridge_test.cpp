#include "bridge/wireguard_tcp_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/loopback_port.h"
#include "tests/bridge/test_sockets.h"

namespace duzavide {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;

constexpr char kConnected[] = "[bridge] WireGuard TCP transport connected";

milliseconds Since(Clock::time_point start) {
  return duration_cast<milliseconds>(Clock::now() - start);
}

// Collects the bridge's status lines, which arrive on the relay thread.
class LineLog {
 public:
  LineSink Observer() {
    return [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
      changed_.notify_all();
    };
  }
  bool WaitForCount(size_t count, milliseconds timeout = milliseconds(3000)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
  }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

// A bridge on `address` connected to a test core, with the WireGuard side's socket.
class BridgeTest : public testing::Test {
 protected:
  void StartConnected(const std::string& address = "127.0.0.1",
                      milliseconds keepalive = std::chrono::seconds(15),
                      int core_receive_buffer = 0,
                      IPv4RangeReader read_local_ranges = ReadThisMachineRanges,
                      milliseconds silence_limit = std::chrono::seconds(30)) {
    core_ = std::make_unique<TestCore>(0, core_receive_buffer);
    ASSERT_TRUE(core_->listening());
    bridge_ = std::make_unique<WireGuardTcpBridge>(log_.Observer(), keepalive, read_local_ranges,
                                                   silence_limit);
    bridge_->SetRelaySilenceObserver([this] { ++silences_; });
    ASSERT_TRUE(bridge_->StartBridge(address, core_->port()));
    ASSERT_TRUE(core_->Accept());
    ASSERT_TRUE(log_.WaitForCount(1));
    // Under Wine a loopback datagram always leaves from 127.0.0.1.
    wireguard_ = std::make_unique<TestDatagramSocket>("127.0.0.1");
    ASSERT_TRUE(wireguard_->valid());
  }

  // Makes the WireGuard socket the bridge's peer.
  void Introduce() {
    ASSERT_TRUE(wireguard_->SendTo({0x42}, bridge_->local_address(), bridge_->udp_port()));
    ASSERT_EQ(core_->Read(3), Frame({0x42}));
  }

  LineLog log_;  // outlives the bridge that reports to it
  std::atomic<int> silences_{0};
  std::unique_ptr<TestCore> core_;
  std::unique_ptr<WireGuardTcpBridge> bridge_;
  std::unique_ptr<TestDatagramSocket> wireguard_;
};

TEST_F(BridgeTest, SaysOncePerSilenceThatTheRelayDoesNotAnswer) {
  ASSERT_NO_FATAL_FAILURE(StartConnected("127.0.0.1", std::chrono::seconds(15), 0,
                                         ReadThisMachineRanges, milliseconds(1000)));
  const std::string silence = "[bridge] no answer from the relay for 1 s";
  // WireGuard messages: type in the first byte, three zero bytes.
  const auto message = [](uint8_t type, size_t size) {
    std::vector<uint8_t> bytes(size, 0x5A);
    bytes[0] = type;
    bytes[1] = bytes[2] = bytes[3] = 0;
    return bytes;
  };
  ASSERT_NO_FATAL_FAILURE(Introduce());
  // Keepalives go unanswered by a healthy peer: no silence.
  ASSERT_TRUE(wireguard_->SendTo(message(4, 32), "127.0.0.1", bridge_->udp_port()));
  EXPECT_FALSE(log_.WaitForCount(2, milliseconds(1500)));
  // A handshake does call for an answer.
  ASSERT_TRUE(wireguard_->SendTo(message(1, 148), "127.0.0.1", bridge_->udp_port()));
  ASSERT_TRUE(log_.WaitForCount(2));
  EXPECT_EQ(log_.lines().back(), silence);
  EXPECT_EQ(silences_.load(), 1);
  // Datagrams go on, nothing comes back: still one line for this silence.
  ASSERT_TRUE(wireguard_->SendTo(message(4, 80), "127.0.0.1", bridge_->udp_port()));
  EXPECT_FALSE(log_.WaitForCount(3, milliseconds(1500)));
  // An answer ends the silence; the next one is told again.
  ASSERT_TRUE(core_->Write(Frame({0x44})));
  ASSERT_TRUE(wireguard_->Receive().has_value());
  ASSERT_TRUE(wireguard_->SendTo(message(4, 80), "127.0.0.1", bridge_->udp_port()));
  ASSERT_TRUE(log_.WaitForCount(3));
  EXPECT_EQ(log_.lines().back(), silence);
  EXPECT_EQ(silences_.load(), 2);
}

TEST_F(BridgeTest, FramesEachDatagramOntoTheStream) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  EXPECT_TRUE(bridge_->IsRunning());
  EXPECT_EQ(bridge_->local_address(), "127.0.0.1");
  EXPECT_EQ(bridge_->tcp_port(), core_->port());
  EXPECT_NE(bridge_->udp_port(), 0);
  // 65,507 bytes is the largest payload an IPv4 datagram can carry.
  const Bytes largest = Filled(65507, 3);
  Bytes largest_framed{0xFF, 0xE3};
  largest_framed.insert(largest_framed.end(), largest.begin(), largest.end());
  struct Case {
    Bytes datagram;
    Bytes stream;
  };
  for (const Case& c :
       std::vector<Case>{{{1, 2, 3}, {0x00, 0x03, 1, 2, 3}}, {largest, largest_framed}}) {
    ASSERT_TRUE(wireguard_->SendTo(c.datagram, "127.0.0.1", bridge_->udp_port()));
    EXPECT_EQ(core_->Read(c.stream.size()), c.stream) << c.datagram.size();
  }
  EXPECT_TRUE(core_->Quiet(milliseconds(200)));
  bridge_->StopBridge();
  EXPECT_FALSE(bridge_->IsRunning());
  EXPECT_EQ(bridge_->udp_port(), 0);
  EXPECT_EQ(bridge_->tcp_port(), 0);
}

TEST_F(BridgeTest, DatagramsReadyTogetherKeepTheirOrder) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  std::vector<Bytes> datagrams;
  Bytes expected;
  for (uint8_t i = 0; i < 40; ++i) {
    datagrams.push_back(Filled(1 + i * 37u, i));
    expected = Concat({expected, Frame(datagrams.back())});
  }
  for (const Bytes& datagram : datagrams) {
    ASSERT_TRUE(wireguard_->SendTo(datagram, "127.0.0.1", bridge_->udp_port()));
  }
  EXPECT_EQ(core_->Read(expected.size()), expected);
}

TEST_F(BridgeTest, ReturnsEachFrameOnceAsOneDatagramInOrder) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  ASSERT_NO_FATAL_FAILURE(Introduce());
  const Bytes a{1, 2, 3};
  const Bytes b = Filled(1400, 5);
  const Bytes c{9};
  struct Case {
    std::string name;
    std::vector<Bytes> writes;  // separate writes, a pause apart
    std::vector<Bytes> datagrams;
  };
  const Bytes ab = Concat({Frame(a), Frame(b)});
  const std::vector<Case> cases = {
      {"several frames in one write", {Concat({Frame(a), Frame(b), Frame(c)})}, {a, b, c}},
      {"one frame over several writes",
       {Bytes(ab.begin(), ab.begin() + 1), Bytes(ab.begin() + 1, ab.begin() + 4),
        Bytes(ab.begin() + 4, ab.begin() + 700), Bytes(ab.begin() + 700, ab.end())},
       {a, b}},
      {"zero-length frame consumed silently", {Concat({Frame({}), Frame(c)})}, {c}},
  };
  for (const Case& test : cases) {
    for (const Bytes& write : test.writes) {
      ASSERT_TRUE(core_->Write(write)) << test.name;
      std::this_thread::sleep_for(milliseconds(60));  // lets the bridge read each part alone
    }
    for (const Bytes& datagram : test.datagrams) {
      EXPECT_EQ(wireguard_->Receive(), datagram) << test.name;
    }
    EXPECT_FALSE(wireguard_->Receive(milliseconds(150)).has_value()) << test.name;
  }
}

TEST_F(BridgeTest, DropsFramesBeforeTheFirstDatagram) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  ASSERT_TRUE(core_->Write(Frame({0xDE, 0xAD})));
  EXPECT_FALSE(wireguard_->Receive(milliseconds(300)).has_value());
  ASSERT_NO_FATAL_FAILURE(Introduce());
  ASSERT_TRUE(core_->Write(Frame({0x01})));
  EXPECT_EQ(wireguard_->Receive(), Bytes{0x01});
}

// Each interval is timed from before what starts it (the connection, then a
// datagram sent), so the bound holds however late the test looks.
TEST_F(BridgeTest, SendsKeepaliveAfterQuietInterval) {
  const milliseconds interval(400);
  Clock::time_point start = Clock::now();
  ASSERT_NO_FATAL_FAILURE(StartConnected("127.0.0.1", interval));
  // Frames received do not count as traffic sent.
  ASSERT_TRUE(core_->Write(Frame({7})));
  EXPECT_EQ(core_->Read(2, milliseconds(3000)), (Bytes{0, 0}));
  EXPECT_GE(Since(start).count(), interval.count());
  // A datagram sent restarts the interval.
  start = Clock::now();
  ASSERT_NO_FATAL_FAILURE(Introduce());
  EXPECT_EQ(core_->Read(2, milliseconds(3000)), (Bytes{0, 0}));
  EXPECT_GE(Since(start).count(), interval.count());
}

TEST_F(BridgeTest, ReconnectsAfterTheCoreClosesTheStream) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  ASSERT_NO_FATAL_FAILURE(Introduce());
  core_->CloseStream();
  Clock::time_point closed = Clock::now();
  ASSERT_TRUE(core_->Accept(milliseconds(5000)));
  EXPECT_GE(Since(closed).count(), 800);
  EXPECT_LE(Since(closed).count(), 2500);
  ASSERT_TRUE(log_.WaitForCount(2));
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{kConnected, kConnected}));
  // The peer survives the reconnection.
  ASSERT_TRUE(core_->Write(Frame({4, 5})));
  EXPECT_EQ(wireguard_->Receive(), (Bytes{4, 5}));
}

TEST_F(BridgeTest, RetriesUntilTheCoreListens) {
  std::optional<ReservedLoopbackPort> reserved = ReserveLoopbackTcpPort();
  ASSERT_TRUE(reserved.has_value());
  WireGuardTcpBridge bridge(log_.Observer());
  ASSERT_TRUE(bridge.StartBridge("127.0.0.1", reserved->port));
  std::this_thread::sleep_for(milliseconds(1200));
  EXPECT_TRUE(log_.lines().empty());
  reserved->socket.Reset();
  TestCore core(reserved->port);
  ASSERT_TRUE(core.listening());
  EXPECT_TRUE(core.Accept(milliseconds(3000)));
  EXPECT_TRUE(log_.WaitForCount(1));
}

TEST(WireGuardTcpBridgeTest, StopOnANeverStartedBridgeChangesNothing) {
  WireGuardTcpBridge bridge(nullptr);
  Clock::time_point start = Clock::now();
  bridge.StopBridge();
  bridge.StopBridge();
  EXPECT_LT(Since(start).count(), 100);
  EXPECT_FALSE(bridge.IsRunning());
  EXPECT_EQ(bridge.udp_port(), 0);
  EXPECT_EQ(bridge.tcp_port(), 0);
  EXPECT_EQ(bridge.local_address(), "");
}

// A listener whose backlog is full and that never accepts: the relay's connect
// neither completes nor fails, and a stop must not wait for it.
TEST(WireGuardTcpBridgeTest, StopDoesNotWaitForAPendingConnect) {
  TestCore listener(0, 0, 1);
  ASSERT_TRUE(listener.listening());
  std::vector<UniqueSocket> queued;
  bool pending = false;
  for (int i = 0; i < 8 && !pending; ++i) {
    queued.emplace_back(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    pending = !ConnectWithin(queued.back().Get(), "127.0.0.1", listener.port(), milliseconds(300));
  }
  ASSERT_TRUE(pending) << "the backlog never filled";
  WireGuardTcpBridge bridge(nullptr);
  ASSERT_TRUE(bridge.StartBridge("127.0.0.1", listener.port()));
  Clock::time_point start = Clock::now();
  bridge.StopBridge();
  EXPECT_LT(Since(start).count(), 1000);
}

// The handle value a new socket gets. Freed handle slots are reused lowest first,
// so a socket left open in between moves this value.
SOCKET NextSocketHandle() {
  UniqueSocket probe(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  return probe.Get();
}

TEST(WireGuardTcpBridgeTest, StartFailsOnTextThatIsNotDottedIPv4) {
  WireGuardTcpBridge bridge(nullptr);
  for (const std::string address : {"localhost", "1.2.3", "", "::1", "256.0.0.1", "127.0.0.1:80",
                                    " 127.0.0.1", "0x7f.0.0.1", "127.1"}) {
    const SOCKET next_before = NextSocketHandle();
    std::string reason;
    EXPECT_FALSE(bridge.StartBridge(address, 9, &reason)) << address;
    EXPECT_EQ(reason, "\"" + address + "\" is not an IPv4 address");
    EXPECT_FALSE(bridge.IsRunning()) << address;
    EXPECT_EQ(bridge.udp_port(), 0) << address;
    EXPECT_EQ(NextSocketHandle(), next_before) << address << ": a socket was left open";
  }
}

TEST_F(BridgeTest, StopWakesARelayBlockedOnAFullStream) {
  for (int stoppers : {1, 2}) {
    SCOPED_TRACE(stoppers);
    // The core accepts but never reads, so the relay's stream writes block.
    ASSERT_NO_FATAL_FAILURE(StartConnected("127.0.0.1", std::chrono::seconds(15), 4096));
    const Bytes datagram = Filled(60000, 1);
    for (int i = 0; i < 300; ++i) {
      ASSERT_TRUE(wireguard_->SendTo(datagram, "127.0.0.1", bridge_->udp_port()));
    }
    std::this_thread::sleep_for(milliseconds(300));
    Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < stoppers; ++i) threads.emplace_back([&] { bridge_->StopBridge(); });
    for (std::thread& thread : threads) thread.join();
    // Without the wake-up StopBridge would sit out its whole 3,000 ms wait.
    EXPECT_LT(Since(start).count(), 2000);
    EXPECT_FALSE(bridge_->IsRunning());
    EXPECT_EQ(bridge_->udp_port(), 0);
    bridge_.reset();
    core_.reset();
  }
}

// A frame that comes back while the relay waits for room on a full stream is still
// returned once the core reads again, with no further traffic to wake the relay.
TEST_F(BridgeTest, ReturnsAFrameThatArrivedWhileTheStreamWasFull) {
  ASSERT_NO_FATAL_FAILURE(StartConnected("127.0.0.1", std::chrono::seconds(15), 4096));
  ASSERT_NO_FATAL_FAILURE(Introduce());
  const Bytes datagram = Filled(60000, 2);
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(wireguard_->SendTo(datagram, "127.0.0.1", bridge_->udp_port()));
  }
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_TRUE(core_->Write(Frame({9})));
  std::this_thread::sleep_for(milliseconds(300));
  while (core_->Read(60002, milliseconds(500)).has_value()) {
  }
  EXPECT_EQ(wireguard_->Receive(), Bytes{9});
}

TEST_F(BridgeTest, RestartAfterStopRelaysAgain) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  ASSERT_TRUE(bridge_->StartBridge("127.0.0.1", core_->port()));
  ASSERT_TRUE(core_->Accept());
  ASSERT_TRUE(log_.WaitForCount(2));
  ASSERT_TRUE(wireguard_->SendTo({3, 3}, "127.0.0.1", bridge_->udp_port()));
  EXPECT_EQ(core_->Read(4), Frame({3, 3}));
}

// The first relay thread is held inside the line observer until StopBridge has
// given up waiting for it and a newer bridge runs; when it finally ends it must
// close only its own sockets and leave the newer bridge relaying.
TEST(WireGuardTcpBridgeTest, ARelayThatOutlivesStopLeavesTheNewerBridgeAlone) {
  std::mutex mutex;
  std::condition_variable changed;
  int calls = 0;
  bool released = false, first_returned = false;
  WireGuardTcpBridge bridge([&](const std::string&) {
    std::unique_lock<std::mutex> lock(mutex);
    if (++calls == 1) {
      changed.notify_all();
      changed.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
      first_returned = true;
    }
    changed.notify_all();
  });
  TestCore core;
  ASSERT_TRUE(core.listening());
  ASSERT_TRUE(bridge.StartBridge("127.0.0.1", core.port()));
  ASSERT_TRUE(core.Accept());
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(3), [&] { return calls == 1; }));
  }
  Clock::time_point start = Clock::now();
  bridge.StopBridge();
  EXPECT_GE(Since(start).count(), 2900);  // the held thread outlived the wait

  ASSERT_TRUE(bridge.StartBridge("127.0.0.1", core.port()));
  ASSERT_TRUE(core.Accept());
  const uint16_t udp_port = bridge.udp_port();
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(3), [&] { return calls == 2; }));
    released = true;
    changed.notify_all();
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(3), [&] { return first_returned; }));
    // A late thread that went on relaying would reconnect after its pause.
    EXPECT_FALSE(changed.wait_for(lock, milliseconds(1600), [&] { return calls > 2; }));
  }

  EXPECT_TRUE(bridge.IsRunning());
  EXPECT_EQ(bridge.udp_port(), udp_port);
  EXPECT_EQ(bridge.tcp_port(), core.port());
  TestDatagramSocket wireguard("127.0.0.1");
  ASSERT_TRUE(wireguard.SendTo({6, 7}, "127.0.0.1", udp_port));
  EXPECT_EQ(core.Read(4), Frame({6, 7}));
  ASSERT_TRUE(core.Write(Frame({8})));
  EXPECT_EQ(wireguard.Receive(), Bytes{8});
  start = Clock::now();
  bridge.StopBridge();
  EXPECT_LT(Since(start).count(), 1500);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(calls, 2);
}

// Under Wine every loopback datagram leaves from 127.0.0.1, whatever address its
// socket is bound to: here from another address of this machine than the bridge's.
TEST_F(BridgeTest, AcceptsDatagramsFromAnotherLoopbackAddress) {
  ASSERT_NO_FATAL_FAILURE(StartConnected("127.0.0.2"));
  ASSERT_NO_FATAL_FAILURE(Introduce());
  ASSERT_TRUE(core_->Write(Frame({0x22})));
  EXPECT_EQ(wireguard_->Receive(), Bytes{0x22});
}

// A machine with no addresses but the bridge's own 127.0.0.2 makes the sender
// (127.0.0.1 under Wine) a stranger.
TEST_F(BridgeTest, DropsDatagramsFromStrangersAndReportsTheFirst) {
  ASSERT_NO_FATAL_FAILURE(StartConnected("127.0.0.2", std::chrono::seconds(15), 0,
                                         [] { return std::vector<IPv4Range>(); }));
  TestDatagramSocket stranger("127.0.0.1");
  ASSERT_TRUE(stranger.valid());
  const uint16_t port = bridge_->udp_port();
  for (uint8_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(stranger.SendTo({0xEE, i}, "127.0.0.2", port));
    // Not framed...
    EXPECT_TRUE(core_->Quiet(milliseconds(300)));
    // ...and not made the peer: returning frames reach nobody.
    ASSERT_TRUE(core_->Write(Frame({0xAA, i})));
    EXPECT_FALSE(stranger.Receive(milliseconds(300)).has_value());
  }
  EXPECT_TRUE(bridge_->IsRunning());
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{kConnected, "[bridge] dropped a datagram from 127.0.0.1:" +
                                                      std::to_string(stranger.port()) +
                                                      " -- not an address of this machine"}));
}

}  // namespace
}  // namespace duzavide
