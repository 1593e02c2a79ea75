// Base class of the application's top-level window.
#ifndef SHELL_WIN32_WINDOW_H_
#define SHELL_WIN32_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace duzavide {

// A DPI-scaled overlapped window of the class "FLUTTER_RUNNER_WIN32_WINDOW" that
// routes its messages to HandleMessage, hosts one child window filling its client
// area, follows the app theme in its title bar, and can end the message loop when
// it is destroyed.
//
// Owns its native window: destroying the object destroys the window (with base
// message handling only, since the derived part is gone by then). The window class
// stays registered while any Win32Window object lives. Main thread only.
class Win32Window {
 public:
  struct Point {
    int32_t x = 0;
    int32_t y = 0;
  };
  struct Size {
    int32_t width = 0;
    int32_t height = 0;
  };

  Win32Window();
  virtual ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the native window, hidden, with `title`. `origin` and `size` are in
  // logical units and are scaled by the DPI of the monitor nearest to `origin`.
  // Destroys a previously created window first. Returns false when the native
  // window cannot be created or when OnCreated fails.
  bool Create(const std::wstring& title, const Point& origin, const Size& size);

  // Makes the window visible. Returns the system's answer: true when the window
  // was already visible.
  bool Show();

  // Calls OnDestroyed, destroys the native window if there is one, and unregisters
  // the window class once no Win32Window object is left. Safe to repeat.
  void Destroy();

  // Hosts `content` as a child that always fills the client area, and focuses it.
  void SetContentWindow(HWND content);

  HWND GetHandle() const { return window_handle_; }

  // When true, destroying the native window posts the quit message (exit code 0).
  void SetQuitOnClose(bool quit_on_close) { quit_on_close_ = quit_on_close; }

  // The client rectangle of the window, in physical pixels.
  RECT GetClientArea() const;

  // Sets the title bar of `window` to the user's app theme.
  static void ApplyTheme(HWND window);

 protected:
  // Handles every message after creation. The base reacts to destruction, size,
  // activation, DPI and theme changes and passes the rest to DefWindowProcW.
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  // Called at the end of Create; its result is Create's result.
  virtual bool OnCreated();

  // Called from Destroy, before the native window goes.
  virtual void OnDestroyed();

 private:
  friend class WindowClassRegistrar;

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) noexcept;
  static void EnableNonClientScaling(HWND window);
  void FitContentToClientArea();

  bool quit_on_close_ = false;
  HWND window_handle_ = nullptr;
  HWND child_content_ = nullptr;
};

}  // namespace duzavide

#endif  // SHELL_WIN32_WINDOW_H_
