#include "shell/win32_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "shell/monitor_dpi.h"
#include "shell/window_class_registrar.h"
#include "tests/shell/window_test_support.h"

namespace duzavide {
namespace {

using testing_support::PumpPendingMessages;

// Records the derived hooks; OnCreated answers as told.
class ProbeWindow : public Win32Window {
 public:
  bool created_result = true;
  int created_calls = 0;
  int destroyed_calls = 0;
  // Geometry that Create handed to the system, as WM_CREATE reports it.
  RECT requested{};

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept override {
    if (message == WM_CREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      requested = RECT{create->x, create->y, create->x + create->cx, create->y + create->cy};
    }
    return Win32Window::HandleMessage(window, message, wparam, lparam);
  }
  bool OnCreated() override {
    ++created_calls;
    return created_result;
  }
  void OnDestroyed() override { ++destroyed_calls; }
};

UINT g_fixed_dpi = 96;
UINT FixedDpi(HMONITOR) { return g_fixed_dpi; }

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fixed_dpi = 96;
    SetMonitorDpiQueryForTesting(&FixedDpi);
  }
  void TearDown() override {
    SetMonitorDpiQueryForTesting(nullptr);
    testing_support::SetLightThemeValue(std::nullopt);
    PumpPendingMessages();
  }
};

RECT WindowRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

bool ClassRegistered() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return ::GetClassInfoExW(::GetModuleHandleW(nullptr), kWindowClassName, &info) != 0;
}

TEST_F(Win32WindowTest, CreateScalesOriginAndSizeByTheMonitorDpi) {
  struct Case {
    UINT dpi;
    Win32Window::Point origin;
    Win32Window::Size size;
    RECT expected;
  };
  const Case cases[] = {
      {96, {100, 50}, {400, 300}, {100, 50, 500, 350}},
      {144, {664, 120}, {590, 800}, {996, 180, 996 + 885, 180 + 1200}},
      {120, {201, 10}, {201, 303}, {251, 12, 251 + 251, 12 + 378}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    g_fixed_dpi = c.dpi;
    ProbeWindow window;
    ASSERT_TRUE(window.Create(L"scaled", c.origin, c.size));
    // The system may shrink a window taller than the screen, so the request is
    // checked where it is still unchanged, and the placement on screen as well.
    EXPECT_EQ(window.requested.left, c.expected.left);
    EXPECT_EQ(window.requested.top, c.expected.top);
    EXPECT_EQ(window.requested.right, c.expected.right);
    EXPECT_EQ(window.requested.bottom, c.expected.bottom);
    const RECT rect = WindowRect(window.GetHandle());
    EXPECT_EQ(rect.left, c.expected.left);
    EXPECT_EQ(rect.top, c.expected.top);
    EXPECT_EQ(rect.right, c.expected.right);
  }
}

TEST_F(Win32WindowTest, CreatesAHiddenWindowOfTheRunnerClassThatShowMakesVisible) {
  ProbeWindow window;
  ASSERT_TRUE(window.Create(L"Duzavide Connect", {10, 10}, {300, 200}));
  HWND handle = window.GetHandle();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(window.created_calls, 1);
  EXPECT_FALSE(::IsWindowVisible(handle));

  wchar_t class_name[64] = {};
  ::GetClassNameW(handle, class_name, 64);
  EXPECT_EQ(std::wstring(class_name), L"FLUTTER_RUNNER_WIN32_WINDOW");
  wchar_t title[64] = {};
  ::GetWindowTextW(handle, title, 64);
  EXPECT_EQ(std::wstring(title), L"Duzavide Connect");
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(handle, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
            static_cast<DWORD>(WS_OVERLAPPEDWINDOW));

  // Show answers whether the window was visible before.
  EXPECT_FALSE(window.Show());
  EXPECT_TRUE(::IsWindowVisible(handle));
  EXPECT_TRUE(window.Show());
}

TEST_F(Win32WindowTest, CreateReportsTheResultOfOnCreated) {
  ProbeWindow window;
  window.created_result = false;
  EXPECT_FALSE(window.Create(L"refused", {0, 0}, {100, 100}));
  EXPECT_EQ(window.created_calls, 1);
}

TEST_F(Win32WindowTest, CreateTwiceDestroysTheFirstNativeWindow) {
  ProbeWindow window;
  ASSERT_TRUE(window.Create(L"first", {0, 0}, {100, 100}));
  HWND first = window.GetHandle();
  ASSERT_TRUE(window.Create(L"second", {0, 0}, {100, 100}));
  EXPECT_FALSE(::IsWindow(first));
  EXPECT_TRUE(::IsWindow(window.GetHandle()));
  EXPECT_NE(window.GetHandle(), first);
}

TEST_F(Win32WindowTest, ContentWindowFillsTheClientAreaAndFollowsResizes) {
  ProbeWindow window;
  ASSERT_TRUE(window.Create(L"host", {0, 0}, {400, 300}));
  window.Show();
  HWND content = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                   ::GetDesktopWindow(), nullptr, nullptr, nullptr);
  ASSERT_NE(content, nullptr);
  window.SetContentWindow(content);
  EXPECT_EQ(::GetParent(content), window.GetHandle());

  auto expect_filled = [&] {
    const RECT client = window.GetClientArea();
    RECT child{};
    ::GetClientRect(content, &child);
    EXPECT_EQ(child.right - child.left, client.right - client.left);
    EXPECT_EQ(child.bottom - child.top, client.bottom - client.top);
    POINT origin{0, 0};
    ::MapWindowPoints(content, window.GetHandle(), &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
  };
  expect_filled();
  ::SetWindowPos(window.GetHandle(), nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOMOVE);
  PumpPendingMessages();
  expect_filled();
}

TEST_F(Win32WindowTest, DpiChangeMovesTheWindowToTheSuggestedRectangle) {
  ProbeWindow window;
  ASSERT_TRUE(window.Create(L"dpi", {0, 0}, {300, 200}));
  RECT suggested{40, 60, 40 + 450, 60 + 300};
  EXPECT_EQ(::SendMessageW(window.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                           reinterpret_cast<LPARAM>(&suggested)),
            0);
  const RECT rect = WindowRect(window.GetHandle());
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 60);
  EXPECT_EQ(rect.right, 490);
  EXPECT_EQ(rect.bottom, 360);
}

TEST_F(Win32WindowTest, DestroyingTheNativeWindowPostsQuitOnlyWhenAsked) {
  for (const bool quit_on_close : {false, true}) {
    SCOPED_TRACE(quit_on_close);
    PumpPendingMessages();
    ProbeWindow window;
    ASSERT_TRUE(window.Create(L"closing", {0, 0}, {100, 100}));
    window.SetQuitOnClose(quit_on_close);
    const int destroyed_before = window.destroyed_calls;
    ::DestroyWindow(window.GetHandle());
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_GT(window.destroyed_calls, destroyed_before);
    int quit_code = -1;
    EXPECT_EQ(PumpPendingMessages(&quit_code), !quit_on_close);
    if (quit_on_close) {
      EXPECT_EQ(quit_code, 0);
    }
  }
}

TEST_F(Win32WindowTest, ClassStaysRegisteredWhileAnyWindowObjectLives) {
  auto first = std::make_unique<ProbeWindow>();
  auto second = std::make_unique<ProbeWindow>();
  ASSERT_TRUE(first->Create(L"one", {0, 0}, {100, 100}));
  ASSERT_TRUE(second->Create(L"two", {0, 0}, {100, 100}));
  first.reset();
  EXPECT_TRUE(ClassRegistered());
  second->Destroy();
  EXPECT_TRUE(ClassRegistered());
  second.reset();
  EXPECT_FALSE(ClassRegistered());
  // A later window registers the class again.
  ProbeWindow third;
  EXPECT_TRUE(third.Create(L"three", {0, 0}, {100, 100}));
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(Win32WindowTest, ThemeIsAppliedOnCreateAndAgainOnColorizationChange) {
  testing_support::SetLightThemeValue(0);
  testing_support::ScopedAttributeRecorder recorder;
  ProbeWindow window;
  ASSERT_TRUE(window.Create(L"themed", {0, 0}, {100, 100}));
  ASSERT_EQ(recorder.requests().size(), 1u);
  EXPECT_EQ(recorder.requests()[0].window, window.GetHandle());
  EXPECT_EQ(recorder.requests()[0].value, TRUE);

  testing_support::SetLightThemeValue(1);
  ::SendMessageW(window.GetHandle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  ASSERT_EQ(recorder.requests().size(), 2u);
  EXPECT_EQ(recorder.requests()[1].value, FALSE);
}

}  // namespace
}  // namespace duzavide
