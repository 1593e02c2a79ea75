#include "shell/window_class_registrar.h"

#include <windows.h>

#include "shell/resources/resource_ids.h"
#include "shell/win32_window.h"

namespace duzavide {

WindowClassRegistrar* WindowClassRegistrar::GetInstance() {
  static WindowClassRegistrar* const instance = new WindowClassRegistrar();
  return instance;
}

const wchar_t* WindowClassRegistrar::GetWindowClass() {
  if (!class_registered_) {
    WNDCLASSW window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = &Win32Window::WindowProcedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.hIcon = ::LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = kWindowClassName;
    ::RegisterClassW(&window_class);
    class_registered_ = true;
  }
  return kWindowClassName;
}

void WindowClassRegistrar::UnregisterWindowClass() {
  ::UnregisterClassW(kWindowClassName, nullptr);
  class_registered_ = false;
}

}  // namespace duzavide
