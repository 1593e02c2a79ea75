#include "shell/win32_window.h"

#include "shell/monitor_dpi.h"
#include "shell/title_bar_theme.h"
#include "shell/window_class_registrar.h"
#include "shell/window_placement.h"

namespace duzavide {

namespace {

// Live Win32Window objects; the class is unregistered when none is left.
int g_active_window_count = 0;

}  // namespace

Win32Window::Win32Window() { ++g_active_window_count; }

Win32Window::~Win32Window() {
  --g_active_window_count;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();

  const wchar_t* window_class = WindowClassRegistrar::GetInstance()->GetWindowClass();

  // The origin is in logical units but is looked up as given: the nearest monitor
  // to that point decides the scale.
  const POINT target_point = {static_cast<LONG>(origin.x), static_cast<LONG>(origin.y)};
  HMONITOR monitor = ::MonitorFromPoint(target_point, MONITOR_DEFAULTTONEAREST);
  const PhysicalBounds bounds = ScaleToPhysical(LogicalPoint{origin.x, origin.y}, size.width,
                                                size.height, GetMonitorDpi(monitor));

  HWND window = ::CreateWindowExW(0, window_class, title.c_str(), WS_OVERLAPPEDWINDOW, bounds.x,
                                  bounds.y, bounds.width, bounds.height, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;

  ApplyTheme(window);
  return OnCreated();
}

bool Win32Window::Show() { return ::ShowWindow(window_handle_, SW_SHOWNORMAL) != 0; }

void Win32Window::Destroy() {
  OnDestroyed();
  if (window_handle_ != nullptr) {
    ::DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (g_active_window_count == 0) WindowClassRegistrar::GetInstance()->UnregisterWindowClass();
}

void Win32Window::SetContentWindow(HWND content) {
  child_content_ = content;
  ::SetParent(content, window_handle_);
  FitContentToClientArea();
  ::SetFocus(child_content_);
}

RECT Win32Window::GetClientArea() const {
  RECT frame{};
  ::GetClientRect(window_handle_, &frame);
  return frame;
}

void Win32Window::ApplyTheme(HWND window) { ApplyTitleBarTheme(window); }

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                   LPARAM lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      window_handle_ = nullptr;
      Destroy();
      if (quit_on_close_) ::PostQuitMessage(0);
      return 0;

    case WM_SIZE:
      if (child_content_ != nullptr) FitContentToClientArea();
      return 0;

    case WM_ACTIVATE:
      if (child_content_ != nullptr) ::SetFocus(child_content_);
      return 0;

    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(window_handle_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplyTheme(window_handle_);
      return 0;

    default:
      break;
  }
  // Messages that follow WM_DESTROY find the stored handle cleared; they still
  // belong to `window`.
  return ::DefWindowProcW(window_handle_ != nullptr ? window_handle_ : window, message, wparam,
                          lparam);
}

bool Win32Window::OnCreated() { return true; }

void Win32Window::OnDestroyed() {}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create_struct = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* that = static_cast<Win32Window*>(create_struct->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(that));
    EnableNonClientScaling(window);
    that->window_handle_ = window;
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  auto* that = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (that != nullptr) return that->HandleMessage(window, message, wparam, lparam);
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void Win32Window::EnableNonClientScaling(HWND window) {
  // Present from Windows 10 1607 on; older systems simply skip it.
  HMODULE user32 = ::LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable != nullptr) enable(window);
  ::FreeLibrary(user32);
}

void Win32Window::FitContentToClientArea() {
  RECT frame{};
  ::GetClientRect(window_handle_, &frame);
  ::MoveWindow(child_content_, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top, TRUE);
}

}  // namespace duzavide
