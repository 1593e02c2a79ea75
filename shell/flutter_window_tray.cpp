// FlutterWindow's tray behaviour: minimise to the tray, bring the window back,
// the icon's mouse events and the menu's commands.
#include "shell/flutter_window.h"
#include "shell/tray_icon.h"
#include "shell/tray_menu.h"

namespace duzavide {

void FlutterWindow::MinimizeToTray() {
  HWND window = GetHandle();
  if (window != nullptr && !tray_icon_shown_) {
    NOTIFYICONDATAW data = MakeTrayIconAddRecord(window);
    // Not examined: without a notification area the window hides all the same.
    NotifyTrayIcon(NIM_ADD, &data);
    tray_icon_shown_ = true;
  }
  ::ShowWindow(window, SW_HIDE);
}

void FlutterWindow::AddTrayIcon() {
  HWND window = GetHandle();
  if (window == nullptr || !tray_icon_shown_) return;
  NOTIFYICONDATAW data = MakeTrayIconAddRecord(window);
  NotifyTrayIcon(NIM_ADD, &data);
}

void FlutterWindow::RemoveTrayIcon() {
  if (!tray_icon_shown_) return;
  if (HWND window = GetHandle(); window != nullptr) {
    NOTIFYICONDATAW data = MakeTrayIconDeleteRecord(window);
    NotifyTrayIcon(NIM_DELETE, &data);
  }
  tray_icon_shown_ = false;
}

void FlutterWindow::RestoreFromTray(bool bring_to_foreground) {
  RemoveTrayIcon();
  HWND window = GetHandle();
  ::ShowWindow(window, SW_SHOW);
  ::ShowWindow(window, SW_RESTORE);
  if (bring_to_foreground) ::SetForegroundWindow(window);
}

void FlutterWindow::HandleTrayCallback(LPARAM lparam) {
  switch (lparam) {
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
      RestoreFromTray(/*bring_to_foreground=*/true);
      break;
    case WM_RBUTTONUP:
      // The published state: asking the session would wait behind a running connect.
      ShowTrayMenu(GetHandle(), tunnel_.connected());
      break;
    default:
      break;
  }
}

void FlutterWindow::HandleTrayCommand(WPARAM wparam) {
  switch (LOWORD(wparam)) {
    case kTrayCommandShowWindow:
      RestoreFromTray(/*bring_to_foreground=*/true);
      break;
    case kTrayCommandConnect:
      // The user connects from the application's own interface; only show it.
      RestoreFromTray(/*bring_to_foreground=*/false);
      break;
    case kTrayCommandDisconnect:
      tunnel_.PostDisconnect();
      break;
    case kTrayCommandExit:
      RemoveTrayIcon();
      CloseApplication();
      break;
    default:
      break;
  }
}

void FlutterWindow::AllowTaskbarRestartNotice() {
  taskbar_created_message_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  // An elevated process does not receive this broadcast from the unelevated shell
  // unless it lets it through.
  if (taskbar_created_message_ != 0) {
    ::ChangeWindowMessageFilterEx(GetHandle(), taskbar_created_message_, MSGFLT_ALLOW, nullptr);
  }
}

}  // namespace duzavide
