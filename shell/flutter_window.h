// The application's only window: hosts the Flutter view, answers the control
// channel against the process's tunnel session, and hides into the tray when
// minimised.
#ifndef SHELL_FLUTTER_WINDOW_H_
#define SHELL_FLUTTER_WINDOW_H_

#include <windows.h>

#include <memory>
#include <utility>

#include "shell/engine_project.h"
#include "shell/flutter_view_controller.h"
#include "shell/win32_window.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {

// Owns the view controller (and through it the engine) and the TunnelSession. The
// control channel's handler holds only a reference to the session; the session
// outlives every call it can deliver because the engine ends first when the window
// is closed, and the message loop has stopped before the session goes when the
// application quits from the tray.
//
// Destruction: a view controller still present is ended first (its member cleared
// before), then, in member order, the session (which disconnects), the project and
// the native window. Main thread only.
class FlutterWindow : public Win32Window {
 public:
  // Copies `project`; the engine is created in Create.
  explicit FlutterWindow(const EngineProject& project);
  ~FlutterWindow() override;

  // Removes the tray icon if it is shown. Safe to repeat.
  void RemoveTrayIcon();

  bool tray_icon_shown() const { return tray_icon_shown_; }

  // Hands the session's line observer (status and core output lines). Call before
  // Create; the observer is called from the main, core reader and bridge threads.
  void SetSessionLineObserver(TunnelSession::LineObserver observer) {
    session_.SetLineObserver(std::move(observer));
  }

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept override;
  // Creates the view controller over the client area, hosts its view, installs the
  // control channel and arranges for the window to show after the first frame.
  bool OnCreated() override;
  // Removes the tray icon, disconnects the session and ends the engine.
  void OnDestroyed() override;

 private:
  // Tray behaviour.
  void MinimizeToTray();
  void AddTrayIcon();
  void RestoreFromTray(bool bring_to_foreground);
  void HandleTrayCallback(LPARAM lparam);
  void HandleTrayCommand(WPARAM wparam);
  void AllowTaskbarRestartNotice();

  EngineProject project_;
  std::unique_ptr<FlutterViewController> flutter_controller_;
  TunnelSession session_;
  bool tray_icon_shown_ = false;
  // "TaskbarCreated": the notification area was (re)started and lost its icons.
  UINT taskbar_created_message_ = 0;
};

}  // namespace duzavide

#endif  // SHELL_FLUTTER_WINDOW_H_
