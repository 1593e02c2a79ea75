#include "shell/flutter_window.h"

#include <optional>
#include <utility>

#include "base/line_sink.h"
#include "channel/method_channel.h"
#include "channel/standard_method_codec.h"
#include "shell/restart_registration.h"
#include "shell/single_instance.h"
#include "shell/tray_icon.h"

namespace duzavide {

namespace {
// Posted by the tunnel controller's notifier: answers are waiting.
constexpr UINT kTunnelWorkDoneMessage = WM_APP + 2;
// Posted at the end of the session when the application is to close.
constexpr UINT kCloseApplicationMessage = WM_APP + 3;
// How long the end of the session waits for the tunnel's disconnect. The system
// gives a window about five seconds before it reports the application as
// preventing the end; the core, in a job that ends with the process, goes with it
// when the disconnect has not finished by then.
constexpr DWORD kSessionEndBudgetMs = 2000;

bool IsSessionMessage(UINT message) {
  return message == WM_QUERYENDSESSION || message == WM_ENDSESSION || message == WM_POWERBROADCAST;
}
}  // namespace

FlutterWindow::FlutterWindow(const EngineProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  // Reached with the controller still present only when the object goes while its
  // window lives (the application itself always closes first). The unanswered
  // results go while their engine still exists. Ending the view sends this window
  // messages; with the member cleared first they no longer reach a controller in
  // the middle of its destruction. The engine then ends before the tunnel
  // controller's final disconnect: once it has ended nothing can deliver a call
  // to the tunnel any more.
  pending_results_.clear();
  std::unique_ptr<FlutterViewController> controller = std::move(flutter_controller_);
  controller.reset();
}

bool FlutterWindow::OnCreated() {
  if (!Win32Window::OnCreated()) return false;

  const RECT frame = GetClientArea();
  flutter_controller_ = std::make_unique<FlutterViewController>(frame.right - frame.left,
                                                                frame.bottom - frame.top, project_);
  if (flutter_controller_->GetEngine() == nullptr || flutter_controller_->GetView() == nullptr) {
    // The library has already ended that engine: later messages must not reach it.
    flutter_controller_.reset();
    return false;
  }
  SetContentWindow(flutter_controller_->GetView()->GetNativeWindow());

  // The channel object only registers the handler; the registration lives in the
  // engine's messenger until the engine ends.
  MethodChannel channel(flutter_controller_->GetEngine()->GetMessenger(), kControlChannelName,
                        &StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler(
      [this](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        PostControlChannelCall(call, std::move(result));
      });
  tunnel_.SetNotifier(
      [window = GetHandle()] { ::PostMessageW(window, kTunnelWorkDoneMessage, 0, 0); });
  tunnel_.Start();

  flutter_controller_->GetEngine()->SetNextFrameCallback([this]() { Show(); });
  flutter_controller_->ForceRedraw();

  AllowTaskbarRestartNotice();
  AllowHandOverMessage();
  // An installer can close the application now; it is to start it again after.
  RegisterRestartAfterUpdate();
  return true;
}

void FlutterWindow::OnDestroyed() {
  RemoveTrayIcon();
  // Create calls this before the window first exists; only a window that had an
  // engine has a session to wind down.
  if (flutter_controller_) {
    tunnel_.Shutdown();
    tunnel_.SetNotifier(nullptr);
  }
  // Their calls can no longer be answered: the engine ends below.
  pending_results_.clear();
  // The member is cleared before the controller goes, so messages sent while the
  // engine ends no longer reach it.
  if (flutter_controller_) {
    std::unique_ptr<FlutterViewController> controller = std::move(flutter_controller_);
    controller.reset();
  }
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept {
  // They concern the tunnel whatever the engine makes of them: acted on first,
  // then the engine hears of them, and the host's answer stands.
  if (IsSessionMessage(message)) {
    const LRESULT result = HandleSessionMessage(window, message, wparam, lparam);
    if (flutter_controller_) {
      flutter_controller_->HandleTopLevelWindowProc(window, message, wparam, lparam);
    }
    return result;
  }
  if (flutter_controller_) {
    const std::optional<LRESULT> result =
        flutter_controller_->HandleTopLevelWindowProc(window, message, wparam, lparam);
    if (result) return *result;
  }

  switch (message) {
    case WM_SIZE:
      if (wparam == SIZE_MINIMIZED) {
        MinimizeToTray();
        return 0;
      }
      break;
    case WM_CLOSE:
      CloseApplication();
      return 0;
    case kCloseApplicationMessage:
      CloseApplication();
      return 0;
    case kTunnelWorkDoneMessage:
      tunnel_.RunCompletions();
      return 0;
    case WM_DESTROY:
      // While the handle still exists: the base clears it before OnDestroyed runs,
      // and an icon left behind would outlive the window.
      RemoveTrayIcon();
      break;
    case WM_FONTCHANGE:
      if (flutter_controller_) flutter_controller_->GetEngine()->ReloadSystemFonts();
      break;
    case WM_COMMAND:
      HandleTrayCommand(wparam);
      // The exit item has destroyed the window.
      if (GetHandle() == nullptr) return 0;
      break;
    case kTrayCallbackMessage:
      HandleTrayCallback(lparam);
      break;
    default:
      if (taskbar_created_message_ != 0 && message == taskbar_created_message_) AddTrayIcon();
      // A second start of the application asks to be shown this one instead.
      if (message != WM_NULL && message == ShowInstanceMessage()) {
        ShowForSecondStart();
        return 0;
      }
      break;
  }
  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

void FlutterWindow::PostControlChannelCall(const MethodCall& call,
                                           std::unique_ptr<MethodResult> result) {
  const uint64_t call_id = ++last_call_id_;
  // `this` travels to the reply handler only, which runs here from HandleMessage.
  const bool posted = tunnel_.PostCall(
      call, [this, call_id](const ControlChannelReply& reply) { SendTunnelReply(call_id, reply); });
  // After shutdown the call goes unanswered, as it would once the engine has ended.
  if (posted) pending_results_[call_id] = std::move(result);
}

void FlutterWindow::SendTunnelReply(uint64_t call_id, const ControlChannelReply& reply) {
  auto found = pending_results_.find(call_id);
  if (found == pending_results_.end()) return;
  std::unique_ptr<MethodResult> result = std::move(found->second);
  pending_results_.erase(found);
  SendControlChannelReply(reply, *result);
}

LRESULT FlutterWindow::HandleSessionMessage(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      // Nothing to save: the tunnel ends with the session.
      return TRUE;
    case WM_ENDSESSION:
      // FALSE: the end was called off, and everything goes on.
      if (wparam) EndWindowsSession((lparam & ENDSESSION_CLOSEAPP) != 0);
      return 0;
    case WM_POWERBROADCAST:
      // Back from sleep: the network returns in stages, and the tunnel checks it.
      if (wparam == PBT_APMRESUMEAUTOMATIC) tunnel_.PostResume();
      return Win32Window::HandleMessage(window, message, wparam, lparam);
    default:
      return Win32Window::HandleMessage(window, message, wparam, lparam);
  }
}

void FlutterWindow::EndWindowsSession(bool close_application) {
  // The process may be ended without WM_CLOSE or WM_DESTROY once this returns,
  // after its core was killed: no answer may go out any more (a "connect" true
  // would be a lie by then), so the calls in the tunnel's hands are dropped.
  pending_results_.clear();
  tunnel_.ShutdownForSessionEnd(kSessionEndBudgetMs);
  RemoveTrayIcon();
  // Last, so that the log holds the disconnect's lines.
  FlushLines();
  // After this handler has answered: the one teardown, exit code 0.
  if (close_application) ::PostMessageW(GetHandle(), kCloseApplicationMessage, 0, 0);
}

void FlutterWindow::CloseApplication() {
  // No call reaches the tunnel any more and the task in hand is cancelled; the
  // final disconnect runs meanwhile, and the object's teardown waits for it.
  tunnel_.Shutdown();
  // Ends the engine, then the native window; quit-on-close then ends the loop.
  Destroy();
}

void FlutterWindow::AllowHandOverMessage() {
  // The second start may run with fewer rights than this elevated process (its
  // manifest's elevation request overridden): the system drops the message of a
  // less privileged process unless it is let through.
  const UINT message = ShowInstanceMessage();
  if (message != 0) ::ChangeWindowMessageFilterEx(GetHandle(), message, MSGFLT_ALLOW, nullptr);
}

void FlutterWindow::ShowForSecondStart() {
  HWND window = GetHandle();
  // Restoring a shown window would undo its maximised state: only a window in the
  // tray or minimised is restored; a shown one only comes to the front.
  if (!::IsWindowVisible(window) || ::IsIconic(window)) {
    RestoreFromTray(/*bring_to_foreground=*/true);
  } else {
    ::SetForegroundWindow(window);
  }
}

}  // namespace duzavide
