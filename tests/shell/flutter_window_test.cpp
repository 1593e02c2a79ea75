#include "shell/flutter_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "channel/standard_method_codec.h"
#include "shell/application.h"
#include "shell/restart_registration.h"
#include "shell/single_instance.h"
#include "shell/tray_icon.h"
#include "standins/engine/standin_hooks.h"
#include "tests/shell/window_test_support.h"
#include "tests/tunnel/tunnel_test_support.h"

namespace duzavide {
namespace {

using testing_support::PumpPendingMessages;
using testing_support::PumpUntil;
using tunnel_test::ConnectCall;
using tunnel_test::CountCoreProcesses;
using Bytes = std::vector<uint8_t>;

Bytes SuccessReply(bool value) {
  return *StandardMethodCodec::GetInstance().EncodeSuccessReply(
      std::make_unique<EncodableValue>(value).get());
}

// Set by a timer that fires inside the tray menu's own message loop.
bool g_menu_seen = false;
size_t g_replies_while_menu_open = 0;
const std::vector<Bytes>* g_replies = nullptr;

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_menu_seen = ::FindWindowW(L"#32768", nullptr) != nullptr;
  g_replies_while_menu_open = g_replies->size();
  ::EndMenu();
}

struct TrayCall {
  DWORD message;
  NOTIFYICONDATAW data;
};
std::vector<TrayCall> g_tray_calls;

BOOL WINAPI RecordTrayCall(DWORD message, PNOTIFYICONDATAW data) {
  g_tray_calls.push_back({message, *data});
  return TRUE;
}

struct RestartRegistration {
  std::wstring command_line;
  DWORD flags;
};
std::vector<RestartRegistration> g_restart_registrations;

HRESULT WINAPI RecordRestartRegistration(PCWSTR command_line, DWORD flags) {
  g_restart_registrations.push_back({command_line != nullptr ? command_line : L"(null)", flags});
  return S_OK;
}

class FlutterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The engine volunteers no first frame while a test runs: the window shows only
    // because the host asked for a frame.
    _wputenv(L"DUZAVIDE_ENGINE_FIRST_BUILD_MS=600000");
    g_tray_calls.clear();
    SetNotifyIconFunctionForTesting(&RecordTrayCall);
    g_restart_registrations.clear();
    SetRegisterRestartFunctionForTesting(&RecordRestartRegistration);
    DuzavideStandinResetCallCounts();
    window_ = std::make_unique<FlutterWindow>(MakeEngineProject({}));
    ASSERT_TRUE(window_->Create(L"Duzavide Connect", {100, 80}, {590, 800}));
    handle_ = window_->GetHandle();
  }
  void TearDown() override {
    window_.reset();
    _wputenv(L"DUZAVIDE_ENGINE_FIRST_BUILD_MS=");
    SetNotifyIconFunctionForTesting(nullptr);
    SetRegisterRestartFunctionForTesting(nullptr);
    PumpPendingMessages();
  }

  void ShowFirstFrame() {
    ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(handle_) != FALSE; }));
  }
  LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::SendMessageW(handle_, message, wparam, lparam);
  }
  void Minimize() { EXPECT_EQ(Send(WM_SIZE, SIZE_MINIMIZED, 0), 0); }
  // Delivers `call` as the interface does; its answer is appended to replies_.
  void Deliver(const MethodCall& call) {
    const auto bytes = StandardMethodCodec::GetInstance().EncodeMethodCall(call);
    ASSERT_TRUE(DuzavideStandinDeliverMessage(
        DuzavideStandinLastMessenger(), "vur.izir.uzo/vpn", bytes->data(), bytes->size(),
        [](const uint8_t* data, size_t size, void* replies) {
          static_cast<std::vector<Bytes>*>(replies)->emplace_back(data, data + size);
        },
        &replies_));
  }
  void Deliver(const char* method) { Deliver(MethodCall(method, nullptr)); }
  // Starts a connect and returns once its core runs, i.e. the connect is in flight.
  void StartConnect() {
    ShowFirstFrame();
    ASSERT_EQ(CountCoreProcesses(), 0);
    Deliver(ConnectCall());
    ASSERT_TRUE(PumpUntil([] { return CountCoreProcesses() > 0; }));
    ASSERT_TRUE(replies_.empty()) << "the connect is expected to take another second";
  }
  void ExpectAddCall(const TrayCall& call) {
    EXPECT_EQ(call.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(call.data.hWnd, handle_);
    EXPECT_EQ(call.data.uID, 1u);
    EXPECT_EQ(call.data.uFlags, 7u);
    EXPECT_EQ(call.data.uCallbackMessage, 0x8001u);
    EXPECT_NE(call.data.hIcon, nullptr);
    EXPECT_EQ(std::wstring(call.data.szTip), L"Duzavide VPN");
  }
  void ExpectDeleteCall(const TrayCall& call) {
    EXPECT_EQ(call.message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(call.data.cbSize, 976u);
    EXPECT_EQ(call.data.hWnd, handle_);
    EXPECT_EQ(call.data.uID, 1u);
    EXPECT_EQ(call.data.uFlags, 0u);
  }

  std::unique_ptr<FlutterWindow> window_;
  HWND handle_ = nullptr;
  std::vector<Bytes> replies_;
};

TEST_F(FlutterWindowTest, StaysHiddenUntilTheFirstFrameAndThenShowsTheViewFillingIt) {
  EXPECT_FALSE(::IsWindowVisible(handle_));
  ShowFirstFrame();

  wchar_t text[64] = {};
  ::GetClassNameW(handle_, text, 64);
  EXPECT_EQ(std::wstring(text), L"FLUTTER_RUNNER_WIN32_WINDOW");
  ::GetWindowTextW(handle_, text, 64);
  EXPECT_EQ(std::wstring(text), L"Duzavide Connect");

  HWND view = ::GetWindow(handle_, GW_CHILD);
  ASSERT_NE(view, nullptr);
  RECT client{};
  RECT view_rect{};
  ::GetClientRect(handle_, &client);
  ::GetClientRect(view, &view_rect);
  EXPECT_EQ(view_rect.right, client.right);
  EXPECT_EQ(view_rect.bottom, client.bottom);
  EXPECT_GT(client.right, 0);
  EXPECT_GT(client.bottom, 0);
}

TEST_F(FlutterWindowTest, MinimizingHidesIntoOneTrayIcon) {
  ShowFirstFrame();
  Minimize();
  EXPECT_FALSE(::IsWindowVisible(handle_));
  EXPECT_TRUE(window_->tray_icon_shown());
  Minimize();
  EXPECT_FALSE(::IsWindowVisible(handle_));
  ASSERT_EQ(g_tray_calls.size(), 1u);
  ExpectAddCall(g_tray_calls[0]);
}

TEST_F(FlutterWindowTest, EveryWayBackRemovesTheIcon) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
  };
  const Case cases[] = {
      {"left click", 0x8001, 0, WM_LBUTTONUP},
      {"double click", 0x8001, 0, WM_LBUTTONDBLCLK},
      {"show window item", WM_COMMAND, 1001, 0},
      {"connect item", WM_COMMAND, 1002, 0},
  };
  ShowFirstFrame();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_tray_calls.clear();
    Minimize();
    ASSERT_FALSE(::IsWindowVisible(handle_));
    Send(c.message, c.wparam, c.lparam);
    EXPECT_TRUE(::IsWindowVisible(handle_));
    EXPECT_FALSE(::IsIconic(handle_));
    EXPECT_FALSE(window_->tray_icon_shown());
    ASSERT_EQ(g_tray_calls.size(), 2u);
    ExpectAddCall(g_tray_calls[0]);
    ExpectDeleteCall(g_tray_calls[1]);
  }
}

TEST_F(FlutterWindowTest, OtherIconEventsAndDisconnectLeaveTheWindowInTheTray) {
  ShowFirstFrame();
  Minimize();
  g_tray_calls.clear();
  const LPARAM ignored_events[] = {WM_RBUTTONDOWN, WM_MBUTTONUP, WM_MOUSEMOVE, WM_LBUTTONDOWN};
  for (const LPARAM event : ignored_events) Send(0x8001, 0, event);
  Send(WM_COMMAND, 1003, 0);  // disconnects an idle session: nothing to see
  Send(WM_COMMAND, 4242, 0);
  EXPECT_FALSE(::IsWindowVisible(handle_));
  EXPECT_TRUE(window_->tray_icon_shown());
  EXPECT_TRUE(g_tray_calls.empty());
}

// The exit item closes as the close button does: the engine ends inside the
// window's life, so nothing is left for the owner to end after the loop.
TEST_F(FlutterWindowTest, ExitItemRemovesTheIconEndsTheEngineAndDestroysTheWindow) {
  ShowFirstFrame();
  Minimize();
  g_tray_calls.clear();
  window_->SetQuitOnClose(true);
  Send(WM_COMMAND, 1004, 0);
  ASSERT_EQ(g_tray_calls.size(), 1u);
  ExpectDeleteCall(g_tray_calls[0]);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerDestroy"), 1);
  EXPECT_FALSE(::IsWindow(handle_));
  int quit_code = -1;
  EXPECT_FALSE(PumpPendingMessages(&quit_code));
  EXPECT_EQ(quit_code, 0);
}

TEST_F(FlutterWindowTest, ASecondStartShowsTheWindowAndKeepsItMaximised) {
  ShowFirstFrame();
  const struct {
    const char* name;
    std::function<void()> arrange;
    bool maximised_after;
  } cases[] = {
      {"in the tray", [&] { Minimize(); }, false},
      {"maximised", [&] { ::ShowWindow(handle_, SW_MAXIMIZE); }, true},
      {"maximised, then into the tray",
       [&] {
         ::ShowWindow(handle_, SW_MAXIMIZE);
         ::ShowWindow(handle_, SW_MINIMIZE);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::ShowWindow(handle_, SW_RESTORE);
    c.arrange();
    Send(ShowInstanceMessage());
    EXPECT_TRUE(::IsWindowVisible(handle_));
    EXPECT_FALSE(::IsIconic(handle_));
    EXPECT_EQ(::IsZoomed(handle_) != FALSE, c.maximised_after);
    EXPECT_FALSE(window_->tray_icon_shown());
  }
}

// Restart Manager starts an application again only when it asked for that.
TEST_F(FlutterWindowTest, AsksToBeStartedAgainAfterAnUpdateButNotAfterACrashOrReboot) {
  ASSERT_EQ(g_restart_registrations.size(), 1u);
  EXPECT_EQ(g_restart_registrations[0].command_line, L"");
  EXPECT_EQ(g_restart_registrations[0].flags,
            static_cast<DWORD>(RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT));
}

TEST_F(FlutterWindowTest, IconIsAddedAgainWhenTheNotificationAreaRestarts) {
  const UINT taskbar_created = ::RegisterWindowMessageW(L"TaskbarCreated");
  ShowFirstFrame();
  Send(taskbar_created);
  EXPECT_TRUE(g_tray_calls.empty()) << "no icon is meant to be shown yet";
  Minimize();
  Send(taskbar_created);
  ASSERT_EQ(g_tray_calls.size(), 2u);
  ExpectAddCall(g_tray_calls[1]);
}

TEST_F(FlutterWindowTest, DestroyingTheWindowInTheTrayRemovesItsIcon) {
  ShowFirstFrame();
  Minimize();
  g_tray_calls.clear();
  ::DestroyWindow(handle_);
  ASSERT_EQ(g_tray_calls.size(), 1u);
  ExpectDeleteCall(g_tray_calls[0]);
  EXPECT_FALSE(window_->tray_icon_shown());
}

TEST_F(FlutterWindowTest, FontChangeReloadsFontsAndCloseEndsTheEngine) {
  ShowFirstFrame();
  Send(WM_FONTCHANGE);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopEngineReloadSystemFonts"), 1);
  window_->SetQuitOnClose(true);
  Send(WM_CLOSE);
  EXPECT_FALSE(::IsWindow(handle_));
  EXPECT_EQ(window_->GetHandle(), nullptr);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerDestroy"), 1);
  int quit_code = -1;
  EXPECT_FALSE(PumpPendingMessages(&quit_code));
  EXPECT_EQ(quit_code, 0);
}

// The window object going while its window lives (the tray's exit item) or after
// a failed start: no engine call may reach a controller in the middle of its
// destruction, a null engine, or an engine that the library has already ended (the
// stand-in engine ends the process on any of them).
TEST(FlutterWindowTeardownTest, NoEngineCallReachesAnEndingOrFailedController) {
  const struct {
    const char* name;
    const wchar_t* fail_create;
    bool created;
    int view_controller_creations;
  } cases[] = {
      {"object destroyed while its window lives", L"", true, 1},
      {"engine creation failed", L"engine", false, 0},
      {"view creation failed", L"1", false, 1},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    _wputenv((std::wstring(L"DUZAVIDE_ENGINE_FAIL_CREATE=") + test.fail_create).c_str());
    DuzavideStandinResetCallCounts();
    auto window = std::make_unique<FlutterWindow>(MakeEngineProject({}));
    EXPECT_EQ(window->Create(L"Duzavide Connect", {100, 80}, {590, 800}), test.created);
    ::SendMessageW(window->GetHandle(), WM_FONTCHANGE, 0, 0);
    window.reset();
    _wputenv(L"DUZAVIDE_ENGINE_FAIL_CREATE=");
    PumpPendingMessages();
    EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopEngineReloadSystemFonts"),
              test.created ? 1 : 0);
    EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerCreate"),
              test.view_controller_creations);
    EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerDestroy"),
              test.created ? 1 : 0);
  }
}

TEST_F(FlutterWindowTest, RepliesComeBackInCallOrderWhileAConnectIsInFlight) {
  ShowFirstFrame();
  Deliver(ConnectCall());
  Deliver("isConnected");
  Deliver("getLog");
  EXPECT_TRUE(replies_.empty()) << "the window's thread waited for the tunnel";
  ASSERT_TRUE(PumpUntil([&] { return replies_.size() == 3; }, std::chrono::seconds(30)));
  EXPECT_EQ(replies_[0], SuccessReply(true));
  EXPECT_EQ(replies_[1], SuccessReply(true));
  const std::string log(replies_[2].begin(), replies_[2].end());
  EXPECT_NE(log.find("standin-core started pid"), std::string::npos) << log;
}

TEST_F(FlutterWindowTest, TrayMenuOpensWhileAConnectIsInFlight) {
  StartConnect();
  g_menu_seen = false;
  g_replies = &replies_;
  ::SetTimer(nullptr, 0, 100, &CloseMenu);
  Send(kTrayCallbackMessage, 0, WM_RBUTTONUP);
  EXPECT_TRUE(g_menu_seen);
  EXPECT_EQ(g_replies_while_menu_open, 0u);
  ASSERT_TRUE(PumpUntil([&] { return replies_.size() == 1; }));
}

TEST_F(FlutterWindowTest, TrayDisconnectOrCloseDuringAConnectLeavesNoCore) {
  // A tray disconnect runs after the connect, which answers; a close ends the
  // engine at once, so the connect's answer is never sent.
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "tray disconnect");
    if (close) SetUp();
    replies_.clear();
    StartConnect();
    if (close) {
      window_->SetQuitOnClose(true);
      Send(WM_CLOSE);
      EXPECT_FALSE(::IsWindow(handle_));
      int quit_code = -1;
      EXPECT_FALSE(PumpPendingMessages(&quit_code));
      EXPECT_EQ(quit_code, 0);
      window_.reset();  // waits for the connect in hand and the disconnect after it
      EXPECT_TRUE(replies_.empty());
    } else {
      Send(WM_COMMAND, 1003);
      Deliver("isConnected");
      ASSERT_TRUE(PumpUntil([&] { return replies_.size() == 2; }, std::chrono::seconds(30)));
      EXPECT_EQ(replies_[0], SuccessReply(true));
      EXPECT_EQ(replies_[1], SuccessReply(false));
    }
    EXPECT_EQ(CountCoreProcesses(), 0);
  }
}

TEST_F(FlutterWindowTest, EndOfTheWindowsSessionDisconnectsAndRemovesTheIconBeforeReturning) {
  ShowFirstFrame();
  Deliver(ConnectCall());
  ASSERT_TRUE(PumpUntil([&] { return replies_.size() == 1; }, std::chrono::seconds(30)));
  ASSERT_EQ(replies_[0], SuccessReply(true));
  Minimize();
  EXPECT_EQ(Send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  Send(WM_ENDSESSION, FALSE);  // the end was called off: nothing happens
  EXPECT_EQ(CountCoreProcesses(), 1);
  g_tray_calls.clear();
  Send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(CountCoreProcesses(), 0);
  ASSERT_EQ(g_tray_calls.size(), 1u);
  ExpectDeleteCall(g_tray_calls[0]);
}

}  // namespace
}  // namespace duzavide
