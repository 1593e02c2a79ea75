#include "shell/tray_icon.h"

#include <cwchar>

#include "shell/resources/resource_ids.h"

namespace duzavide {

static_assert(sizeof(NOTIFYICONDATAW) == kNotifyIconDataSize,
              "the tray record must be the full current NOTIFYICONDATAW");

namespace {

NotifyIconFunction g_notify_for_testing = nullptr;

HICON LoadTrayIcon() {
  auto icon = static_cast<HICON>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (icon == nullptr) icon = ::LoadIconW(nullptr, IDI_APPLICATION);
  return icon;
}

}  // namespace

NOTIFYICONDATAW MakeTrayIconAddRecord(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = kNotifyIconDataSize;
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = LoadTrayIcon();
  ::wcsncpy_s(data.szTip, 128, kTrayTip, _TRUNCATE);
  return data;
}

NOTIFYICONDATAW MakeTrayIconDeleteRecord(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = kNotifyIconDataSize;
  data.hWnd = window;
  data.uID = kTrayIconId;
  return data;
}

BOOL NotifyTrayIcon(DWORD message, NOTIFYICONDATAW* data) {
  if (g_notify_for_testing != nullptr) return g_notify_for_testing(message, data);
  return ::Shell_NotifyIconW(message, data);
}

NotifyIconFunction SetNotifyIconFunctionForTesting(NotifyIconFunction function) {
  NotifyIconFunction previous = g_notify_for_testing;
  g_notify_for_testing = function;
  return previous;
}

}  // namespace duzavide
