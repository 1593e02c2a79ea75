#include "shell/flutter_window.h"

#include <optional>
#include <utility>

#include "channel/method_channel.h"
#include "channel/standard_method_codec.h"
#include "shell/single_instance.h"
#include "shell/tray_icon.h"
#include "tunnel/control_channel.h"

namespace duzavide {

FlutterWindow::FlutterWindow(const EngineProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  // Reached with the controller still present when the window was not destroyed
  // first (the tray's exit item). Ending the view sends this window
  // messages; with the member cleared first they no longer reach a controller in
  // the middle of its destruction. The engine then ends before the session: once it
  // has ended nothing can deliver a call to the session any more.
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
  TunnelSession& session = session_;
  channel.SetMethodCallHandler(
      [&session](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        HandleControlChannelCall(session, call, std::move(result));
      });

  flutter_controller_->GetEngine()->SetNextFrameCallback([this]() { Show(); });
  flutter_controller_->ForceRedraw();

  AllowTaskbarRestartNotice();
  return true;
}

void FlutterWindow::OnDestroyed() {
  RemoveTrayIcon();
  session_.Disconnect();
  // The member is cleared before the controller goes, so messages sent while the
  // engine ends no longer reach it.
  if (flutter_controller_) {
    std::unique_ptr<FlutterViewController> controller = std::move(flutter_controller_);
    controller.reset();
  }
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept {
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
      session_.Disconnect();
      break;
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

}  // namespace duzavide
