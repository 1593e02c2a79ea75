#include "shell/flutter_window.h"

#include <optional>
#include <utility>

#include "base/line_sink.h"
#include "channel/method_channel.h"
#include "channel/standard_method_codec.h"
#include "shell/single_instance.h"
#include "shell/tray_icon.h"

namespace duzavide {

namespace {
// Posted by the tunnel controller's notifier: answers are waiting.
constexpr UINT kTunnelWorkDoneMessage = WM_APP + 2;
}  // namespace

FlutterWindow::FlutterWindow(const EngineProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  // Reached with the controller still present when the window was not destroyed
  // first (the tray's exit item). The unanswered results go while their engine
  // still exists. Ending the view sends this window messages; with the member
  // cleared first they no longer reach a controller in the middle of its
  // destruction. The engine then ends before the tunnel controller's final
  // disconnect: once it has ended nothing can deliver a call to the tunnel any more.
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
  // Back from sleep: the network returns in stages, and the tunnel checks it.
  if (message == WM_POWERBROADCAST && wparam == PBT_APMRESUMEAUTOMATIC) tunnel_.PostResume();
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
      // The window goes at once; the tunnel disconnects after the task in hand.
      tunnel_.Shutdown();
      break;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam) EndWindowsSession();
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
      break;
    case kTrayCallbackMessage:
      HandleTrayCallback(lparam);
      break;
    default:
      if (taskbar_created_message_ != 0 && message == taskbar_created_message_) AddTrayIcon();
      // A second start of the application asks to be shown this one instead.
      if (message != WM_NULL && message == ShowInstanceMessage()) {
        RestoreFromTray(/*bring_to_foreground=*/true);
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

void FlutterWindow::EndWindowsSession() {
  // The process is ended after this returns, without WM_CLOSE or WM_DESTROY: the
  // core must be gone and the proxy reset by then.
  tunnel_.ShutdownAndWait();
  RemoveTrayIcon();
  // Last, so that the log holds the disconnect's lines.
  FlushLines();
}

}  // namespace duzavide
