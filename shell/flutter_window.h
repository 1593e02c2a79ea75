// The application's only window: hosts the Flutter view, hands the control
// channel's calls to the tunnel controller, and hides into the tray when
// minimised.
#ifndef SHELL_FLUTTER_WINDOW_H_
#define SHELL_FLUTTER_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "shell/engine_project.h"
#include "shell/flutter_view_controller.h"
#include "shell/win32_window.h"
#include "tunnel/control_channel.h"
#include "tunnel/tunnel_controller.h"

namespace duzavide {

// Owns the view controller (and through it the engine) and the tunnel controller,
// which runs the TunnelSession on its own thread. Each control-channel call goes
// to the tunnel controller, in arrival order; the call's result object stays here,
// on the platform thread, until the answer comes back through a posted message
// and is sent. The tray reads the connection state the tunnel controller
// publishes, so nothing here waits for tunnel work.
//
// One way out: the close button, the tray's exit item and an installer's request
// to close (the end of the session with ENDSESSION_CLOSEAPP) all stop the tunnel
// controller from taking new calls (the task in hand is cancelled), end the
// engine and destroy the native window, which ends the message loop; the tunnel
// disconnects meanwhile, and the object's teardown waits for that. The owner
// destroys the object before it leaves the thread's COM apartment.
//
// The end of the Windows session and the power notifications reach this window
// before the engine is offered them. At the end of the session the window stops
// answering, and returns within about two seconds (the system ends an
// application that takes much longer): the process may be ended at any moment
// afterwards.
//
// Destruction: the unanswered results are dropped while the engine still exists;
// a view controller still present (the object destroyed while its window lives)
// is then ended with its member cleared first; then, in member order, the tunnel
// controller (waits for its final disconnect), the project and the native
// window. Platform thread only.
class FlutterWindow : public Win32Window {
 public:
  // Copies `project`; the engine is created in Create.
  explicit FlutterWindow(const EngineProject& project);
  ~FlutterWindow() override;

  // Removes the tray icon if it is shown. Safe to repeat.
  void RemoveTrayIcon();

  bool tray_icon_shown() const { return tray_icon_shown_; }

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept override;
  // Creates the view controller over the client area, hosts its view, installs the
  // control channel and arranges for the window to show after the first frame.
  bool OnCreated() override;
  // Removes the tray icon, has the tunnel controller disconnect, drops the
  // unanswered results and ends the engine.
  void OnDestroyed() override;

 private:
  // Hands `call` to the tunnel controller; its reply is sent from SendTunnelReply.
  void PostControlChannelCall(const MethodCall& call, std::unique_ptr<MethodResult> result);
  void SendTunnelReply(uint64_t call_id, const ControlChannelReply& reply);
  // The session's end and the power notifications, before the engine hears of them.
  LRESULT HandleSessionMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // The end of the Windows session: stops answering, gives the tunnel its last
  // moments, removes the icon and flushes the log; then closes the application
  // when `close_application` (an installer's Restart Manager asks for that).
  void EndWindowsSession(bool close_application);
  // The one teardown: see the class comment.
  void CloseApplication();
  // A second start of the application asks to be shown this window instead.
  void ShowForSecondStart();
  // Lets the second start's hand-over message through from a less privileged
  // process.
  void AllowHandOverMessage();

  // Tray behaviour.
  void MinimizeToTray();
  void AddTrayIcon();
  void RestoreFromTray(bool bring_to_foreground);
  void HandleTrayCallback(LPARAM lparam);
  void HandleTrayCommand(WPARAM wparam);
  void AllowTaskbarRestartNotice();

  EngineProject project_;
  std::unique_ptr<FlutterViewController> flutter_controller_;
  TunnelController tunnel_;
  // Results of the calls in the tunnel controller's hands, by call number.
  std::map<uint64_t, std::unique_ptr<MethodResult>> pending_results_;
  uint64_t last_call_id_ = 0;
  bool tray_icon_shown_ = false;
  // "TaskbarCreated": the notification area was (re)started and lost its icons.
  UINT taskbar_created_message_ = 0;
};

}  // namespace duzavide

#endif  // SHELL_FLUTTER_WINDOW_H_
