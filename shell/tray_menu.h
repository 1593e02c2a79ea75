// The tray icon's popup menu.
#ifndef SHELL_TRAY_MENU_H_
#define SHELL_TRAY_MENU_H_

#include <windows.h>

namespace duzavide {

// Command identifiers of the menu items; the choice arrives as WM_COMMAND.
inline constexpr UINT kTrayCommandShowWindow = 1001;
inline constexpr UINT kTrayCommandConnect = 1002;
inline constexpr UINT kTrayCommandDisconnect = 1003;
inline constexpr UINT kTrayCommandExit = 1004;

// Item texts.
inline constexpr wchar_t kTrayTextShowWindow[] = L"显示窗口";
inline constexpr wchar_t kTrayTextConnect[] = L"连接 VPN";
inline constexpr wchar_t kTrayTextDisconnect[] = L"断开连接";
inline constexpr wchar_t kTrayTextExit[] = L"退出";

// Builds the popup menu: show window, separator, connect, disconnect, separator,
// exit. Exactly one of connect and disconnect is grayed: connect when `connected`,
// disconnect otherwise. The caller destroys the menu.
HMENU CreateTrayMenu(bool connected);

// Opens the menu at the cursor, owned by `window`, and returns once it is closed;
// the chosen item arrives later as WM_COMMAND.
void ShowTrayMenu(HWND window, bool connected);

}  // namespace duzavide

#endif  // SHELL_TRAY_MENU_H_
