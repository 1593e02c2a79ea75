// What the controller decides for as long as the tunnel is wanted, against the
// real session and stand-in core, with the network path, the proxy setting and
// the filtering engine the test sets: the proxy setting, the machine-wide lock
// and the leak protection span the tunnel, not each core run; a connect while a
// recovery is in hand; a reconnect cut short by a disconnect; a core that ends
// on its own.
#include "tunnel/tunnel_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "tests/tunnel/tunnel_controller_fixture.h"

namespace duzavide::tunnel_test {
namespace {

using std::chrono::seconds;

constexpr char kReconnected[] = "[host] reconnected in ";
constexpr char kRetrying[] = "[host] reconnect failed -- ";
constexpr char kLockRefused[] =
    "[xray] connect failed at the machine-wide tunnel lock -- another Windows session has the "
    "tunnel";
constexpr char kLockSquatted[] =
    "[xray] connect failed at the machine-wide tunnel lock -- another program holds the lock's "
    "name; no tunnel can start until it lets go";

size_t CountStarting(LineRecorder& lines, const std::string& start) {
  size_t count = 0;
  for (const std::string& line : lines.Lines()) count += line.rfind(start, 0) == 0 ? 1 : 0;
  return count;
}

class TunnelWantedTest : public TunnelControllerTest {
 protected:
  bool Connect(TunnelController& controller) {
    const EncodableValue value = Call(controller, ConnectCall(relay_.port())).value;
    return std::holds_alternative<bool>(value) && std::get<bool>(value);
  }
  void Disconnect(TunnelController& controller) {
    Call(controller, MethodCall("disconnect", nullptr));
  }
  // Whether a controller on a thread of its own (as another Windows session's
  // host would be) connects; it disconnects again as it goes.
  bool AnotherConnects() {
    bool connected = false;
    std::thread([&] {
      std::unique_ptr<TunnelController> other = MakeController();
      connected = Connect(*other);
    }).join();
    return connected;
  }
  bool WaitForLineStarting(const std::string& start) {
    return WaitUntil([&] { return CountStarting(lines_, start) > 0; }, seconds(15));
  }
  // The interface the filters in place let through; nothing when none does.
  std::optional<uint64_t> InterfaceLetThrough() {
    for (const LeakFilter& filter : filtering_.filters()) {
      if (filter.interface_luid) return filter.interface_luid;
    }
    return std::nullopt;
  }
  // The core's pid, from its start line in the log.
  DWORD CorePid(TunnelController& controller) {
    std::string log;
    WaitUntil(
        [&] {
          log += std::get<std::string>(Call(controller, MethodCall("getLog", nullptr)).value);
          return CorePidFromLog(log) != 0;
        },
        seconds(5));
    return CorePidFromLog(log);
  }
};

TEST_F(TunnelWantedTest, TheProxySettingTheLockAndTheProtectionSpanTheTunnelNotEachCoreRun) {
  const ProxyOptions users{kProxyTypeProxy, L"10.1.2.3:3128", L"<local>", std::nullopt, 1};
  proxy_.WriteOptions(L"", users, nullptr);
  std::unique_ptr<TunnelController> controller = MakeController();
  ASSERT_TRUE(Connect(*controller));
  EXPECT_TRUE(IsDirectAccess(proxy_.setting().flags));
  EXPECT_TRUE(proxy_.journal_exists());
  EXPECT_EQ(filtering_.cores_at_first_replace(), 0) << "the core started before the filters";
  EXPECT_EQ(InterfaceLetThrough(), 0x77u) << "the tunnel's interface is not let through";
  EXPECT_EQ(lines_.Count("[xray] leak protection on"), 1u);
  const int writes = proxy_.writes();

  SetPath({true, "127.0.0.2"});
  controller->PostResume();
  ASSERT_TRUE(WaitForLineStarting(kReconnected));
  EXPECT_EQ(proxy_.writes(), writes) << "a reconnect gave back or saved the proxy setting";
  EXPECT_TRUE(Connected(*controller));
  EXPECT_FALSE(AnotherConnects()) << "the lock was let go with the first core run";
  EXPECT_EQ(lines_.Count(kLockRefused), 1u);
  const std::vector<std::string> calls = filtering_.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), 0)
      << "a reconnect dropped the filters";
  EXPECT_EQ(lines_.Count("[xray] leak protection on"), 1u);

  Disconnect(*controller);
  EXPECT_EQ(proxy_.setting(), users);
  EXPECT_FALSE(proxy_.journal_exists());
  EXPECT_EQ(filtering_.calls().back(), "close");
  EXPECT_EQ(CountCoreProcesses(), 0);
  EXPECT_TRUE(AnotherConnects()) << "the lock outlived the tunnel";
}

// Another kind of object under the lock's name: said as such, and nothing is
// touched.
TEST_F(TunnelWantedTest, AnObjectSquattingOnTheLocksNameIsNamedAndStopsTheConnect) {
  UniqueHandle squatter(::CreateEventW(nullptr, TRUE, FALSE, LockName().c_str()));
  ASSERT_TRUE(squatter);
  std::unique_ptr<TunnelController> controller = MakeController();
  EXPECT_FALSE(Connect(*controller));
  EXPECT_EQ(lines_.Count(kLockSquatted), 1u);
  EXPECT_EQ(proxy_.writes(), 0);
  EXPECT_EQ(CountCoreProcesses(), 0);
}

TEST_F(TunnelWantedTest,
       AConnectWhileARecoveryWaitsAnswersAtOnceAndADisconnectCutsAReconnectShort) {
  std::unique_ptr<TunnelController> controller = MakeController();
  ASSERT_TRUE(Connect(*controller));
  SetPath({false, ""});
  controller->PostResume();
  ASSERT_TRUE(lines_.WaitFor("[host] network unavailable; waiting", seconds(10)));
  EXPECT_TRUE(Connected(*controller));
  EXPECT_EQ(CountCoreProcesses(), 0);
  EXPECT_TRUE(Connect(*controller));
  EXPECT_EQ(CountCoreProcesses(), 0) << "a connect while the recovery waits started a core";

  SetPath({true, "127.0.0.2"});
  ASSERT_TRUE(
      lines_.WaitFor("[host] network changed (127.0.0.1 -> 127.0.0.2); reconnecting", seconds(10)));
  Disconnect(*controller);
  EXPECT_EQ(CountStarting(lines_, kReconnected), 0u);
  EXPECT_EQ(CountStarting(lines_, kRetrying), 0u) << "a cancelled reconnect was retried";
  EXPECT_FALSE(Connected(*controller));
  EXPECT_FALSE(proxy_.journal_exists());
  EXPECT_EQ(CountCoreProcesses(), 0);
}

// A resolver that hangs holds neither the disconnect nor the connect before it:
// the disconnect cuts the name lookup short, and both answer long before the
// resolver would have.
TEST_F(TunnelWantedTest, ADisconnectCutsAHangingNameLookupShort) {
  std::unique_ptr<TunnelController> controller =
      MakeController([](const std::string&, std::string* failure, uint32_t*, HANDLE cancel) {
        ::WaitForSingleObject(cancel, 120000);
        *failure = "cancelled";
        return std::string();
      });
  UniqueHandle answered(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  controller->SetNotifier([event = answered.Get()] { ::SetEvent(event); });
  std::optional<ControlChannelReply> connected;
  std::optional<ControlChannelReply> disconnected;
  ASSERT_TRUE(controller->PostCall(ConnectCall(relay_.port()),
                                   [&](const ControlChannelReply& r) { connected = r; }));
  ::Sleep(300);
  ASSERT_TRUE(controller->PostCall(MethodCall("disconnect", nullptr),
                                   [&](const ControlChannelReply& r) { disconnected = r; }));
  while (!(connected && disconnected) &&
         ::WaitForSingleObject(answered.Get(), 20000) == WAIT_OBJECT_0) {
    controller->RunCompletions();
  }
  controller->SetNotifier(nullptr);
  ASSERT_TRUE(connected && disconnected) << "a disconnect waited for the resolver";
  EXPECT_EQ(connected->value, EncodableValue(false));
  EXPECT_EQ(CountStarting(lines_, "[bridge] connect failed at the name lookup -- cancelled"), 1u);
  EXPECT_EQ(CountCoreProcesses(), 0);
}

TEST_F(TunnelWantedTest, ACoreThatEndsOnItsOwnIsStartedAgainUnderTheSameProtection) {
  std::unique_ptr<TunnelController> controller = MakeController();
  ASSERT_TRUE(Connect(*controller));
  const DWORD first = CorePid(*controller);
  UniqueHandle core(::OpenProcess(PROCESS_TERMINATE, FALSE, first));
  ASSERT_TRUE(core);
  ::TerminateProcess(core.Get(), 9);

  ASSERT_TRUE(WaitForLineStarting(kReconnected));
  EXPECT_EQ(CountStarting(lines_, "[host] the core ended on its own (exit code 9); reconnecting"),
            1u);
  EXPECT_TRUE(Connected(*controller));
  const DWORD second = CorePid(*controller);
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, first);
  EXPECT_TRUE(proxy_.journal_exists());
  const std::vector<std::string> calls = filtering_.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), 0) << "the filters went meanwhile";
  Disconnect(*controller);
}

}  // namespace
}  // namespace duzavide::tunnel_test
