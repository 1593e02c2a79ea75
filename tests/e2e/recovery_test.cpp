// The real Duzavide.exe and stand-in core in the private test network
// (private_network.sh): the tunnel heals itself after the network changes under
// it, and a disconnect ends the healing. Outside that network the tests skip.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tests/e2e/app_process.h"
#include "tests/e2e/private_network.h"
#include "tests/tunnel/tunnel_test_support.h"
#include "tunnel/network/network_events.h"

namespace duzavide::e2e {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using tunnel_test::CountCoreProcesses;
using tunnel_test::EchoRelay;

class RecoveryTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!InPrivateNetwork()) GTEST_SKIP() << "runs inside the private test network only";
    ASSERT_TRUE(ResetPrivateNetwork());
    ::DeleteFileW(HostLogPath().c_str());
  }

  // Starts the application, connects through the relay and waits for the first
  // datagram to come back through the bridge. The script then asks "isConnected"
  // four times a second until the test closes the window.
  void StartConnected(const char* link = kPrivateNetworkLink) {
    std::vector<std::string> script = {"call " + ConnectCallHex(link, relay_.port())};
    for (int i = 0; i < 600; ++i) {
      script.push_back("call " + MethodCallHex("isConnected"));
      script.push_back("sleep 250");
    }
    app_ = std::make_unique<AppProcess>(AppOptions{script});
    ASSERT_TRUE(app_->Start());
    ASSERT_TRUE(WaitFor([&] { return !app_->Transcript().empty(); }, seconds(60)));
    ASSERT_EQ(app_->Transcript()[0], "reply " + SuccessReplyHex(true)) << app_->StandardError();
    ASSERT_TRUE(EchoedAfter("TUN and WireGuard transport started"));
    window_ = app_->WaitForWindow(seconds(1));
    ASSERT_NE(window_, nullptr);
  }

  // Waits until `text` is in the host log after line `from`; its index, or -1.
  int WaitForLine(const std::string& text, int from, milliseconds timeout = milliseconds(15000)) {
    int found = -1;
    WaitFor([&] { return (found = FindLine(HostLogLines(), text, from)) >= 0; }, timeout);
    return found;
  }
  // A datagram echoed through the bridge after the last line holding `text`.
  bool EchoedAfter(const std::string& text) {
    const std::vector<std::string> lines = HostLogLines();
    int last = -1;
    for (int at = FindLine(lines, text); at >= 0; at = FindLine(lines, text, at + 1)) last = at;
    return last >= 0 && WaitForLine("standin-pong", last + 1) >= 0;
  }
  void CloseAndExpectCleanExit() {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(app_->WaitForExit(seconds(60)));
    EXPECT_EQ(app_->exit_code(), 0u);
  }

  WinsockUser winsock_;
  EchoRelay relay_;
  std::unique_ptr<AppProcess> app_;
  HWND window_ = nullptr;
};

TEST_F(RecoveryTest, ComesBackAfterAnAddressChangeAndARouteLossAndStaysConnected) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());

  ASSERT_TRUE(ChangeNetwork("ip addr add 10.77.0.3/24 dev tap0; ip addr del 10.77.0.2/24 dev tap0",
                            [] { return HasAddress("10.77.0.3") && !HasAddress("10.77.0.2"); }));
  const int changed =
      WaitForLine("[host] network changed (10.77.0.2 -> 10.77.0.3); reconnecting", 0);
  ASSERT_GE(changed, 0);
  ASSERT_GE(WaitForLine("[host] reconnected in ", changed), 0);
  EXPECT_TRUE(EchoedAfter("[host] reconnected in "))
      << "no datagram came back through the new bridge";

  ASSERT_TRUE(ChangeNetwork("ip route del default", [] { return !HasDefaultRoute(); }));
  const int waiting = WaitForLine("[host] network unavailable; waiting", changed);
  ASSERT_GE(waiting, 0);
  EXPECT_TRUE(WaitFor([] { return CountCoreProcesses() == 0; }, seconds(10)));
  // Offline, nothing is tried.
  ::Sleep(4000);
  EXPECT_LT(FindLine(HostLogLines(), "connect failed", waiting), 0);
  EXPECT_LT(FindLine(HostLogLines(), "standin-core started", waiting), 0);

  ASSERT_TRUE(ChangeNetwork("ip route add default via 10.77.0.1 dev tap0", &HasDefaultRoute));
  ASSERT_GE(WaitForLine("[host] reconnected in ", waiting), 0);
  EXPECT_TRUE(EchoedAfter("[host] reconnected in "));

  // Back from sleep with nothing changed: a re-check, and nothing to say.
  const size_t before = HostLogLines().size();
  ::PostMessageW(window_, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  ::Sleep(2000);
  EXPECT_LT(FindLine(HostLogLines(), "[host] ", static_cast<int>(before)), 0);

  // "isConnected" answered true all along: the interface never saw the gaps.
  const std::vector<std::string> transcript = app_->Transcript();
  ASSERT_GT(transcript.size(), 20u);
  for (const std::string& reply : transcript) EXPECT_EQ(reply, "reply " + SuccessReplyHex(true));
  CloseAndExpectCleanExit();
}

TEST_F(RecoveryTest, ADisconnectDuringTheBackoffEndsItWithoutAFurtherAttempt) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  // The stand-in core reads its directives from the application folder.
  const std::wstring directives = AppFolder() + L"\\standin-core.txt";
  if (FILE* file = _wfopen(directives.c_str(), L"wb")) {
    fputs("exit-at-start 3\n", file);
    fclose(file);
  }
  ASSERT_TRUE(ChangeNetwork("ip addr add 10.77.0.3/24 dev tap0; ip addr del 10.77.0.2/24 dev tap0",
                            [] { return HasAddress("10.77.0.3") && !HasAddress("10.77.0.2"); }));
  const int failed = WaitForLine("[host] reconnect failed -- ", 0);
  ::PostMessageW(window_, WM_COMMAND, 1003, 0);  // the tray's "disconnect"
  ::Sleep(5000);                                 // longer than the next two waits of the backoff
  ::DeleteFileW(directives.c_str());
  ASSERT_GE(failed, 0);
  EXPECT_LT(FindLine(HostLogLines(), "reconnect failed", failed + 1), 0);
  EXPECT_LT(FindLine(HostLogLines(), "network changed", failed + 1), 0);
  EXPECT_EQ(CountCoreProcesses(), 0);
  CloseAndExpectCleanExit();
}

// A relay that stops answering is noticed and the tunnel connects again.
TEST_F(RecoveryTest, ARelayThatGoesSilentIsConnectedAgain) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  relay_.set_echo(false);
  const int silent =
      WaitForLine("[host] no answer through the tunnel; reconnecting", 0, milliseconds(45000));
  ASSERT_GE(silent, 0);
  EXPECT_GE(FindLine(HostLogLines(), "[bridge] no answer from the relay for 25 s"), 0);
  relay_.set_echo(true);
  ASSERT_GE(WaitForLine("[host] reconnected in ", silent), 0);
  EXPECT_TRUE(EchoedAfter("[host] reconnected in "));
  CloseAndExpectCleanExit();
}

// Two default routes at equal metric, each beside an address of its own, trade
// places in the table and stay so for longer than a better path must hold: the
// path in use still reaches the server as well as any, so the tunnel stays
// where it is.
TEST_F(RecoveryTest, EqualDefaultRoutesTradingPlacesMoveNothing) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(kServerBehindDefaultRoutesLink));
  const auto has_both = [] { return HasAddress("10.77.0.2") && HasAddress("10.78.0.2"); };
  ASSERT_TRUE(ChangeNetwork(
      "ip addr add 10.78.0.2/24 dev tap0; ip route append default via 10.78.0.1 dev tap0",
      has_both));
  ASSERT_TRUE(ChangeNetwork(
      "ip route del default via 10.77.0.1 dev tap0; ip route append default via 10.77.0.1 dev tap0",
      has_both));
  ::Sleep(9000);  // past the 5 s a better path must hold, and a re-check after
  EXPECT_LT(FindLine(HostLogLines(), "[host] network changed"), 0);
  EXPECT_LT(FindLine(HostLogLines(), "reconnect"), 0);
  CloseAndExpectCleanExit();
}

// The system's news of an address change reaches the controller: the address
// list request completes, and is armed again for the next change.
TEST_F(RecoveryTest, TheEventSourceTellsOfAnAddressChangeAndWatchesOn) {
  WinsockUser winsock;
  UniqueHandle signal(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  NetworkEvents events;
  events.Start(signal.Get());
  ASSERT_NE(events.address_list_event(), nullptr);
  ::ResetEvent(signal.Get());  // some systems call back once inside the registration
  for (const char* command :
       {"ip addr add 10.77.0.3/24 dev tap0", "ip addr del 10.77.0.3/24 dev tap0"}) {
    SCOPED_TRACE(command);
    HANDLE sources[] = {signal.Get(), events.address_list_event()};
    ASSERT_TRUE(ChangeNetwork(command, [] { return true; }));
    const DWORD woken = ::WaitForMultipleObjects(2, sources, FALSE, 10000);
    ASSERT_NE(woken, static_cast<DWORD>(WAIT_TIMEOUT)) << "no news of the change";
    if (woken == WAIT_OBJECT_0 + 1) {
      EXPECT_TRUE(events.TakeAddressListChange());
    }
    ASSERT_NE(events.address_list_event(), nullptr) << "not armed again";
  }
  events.Stop();
  EXPECT_EQ(events.address_list_event(), nullptr);
}

}  // namespace
}  // namespace duzavide::e2e
