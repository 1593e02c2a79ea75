// The notification-area (tray) icon of the main window: its fixed description and
// the one system call that adds or removes it.
#ifndef SHELL_TRAY_ICON_H_
#define SHELL_TRAY_ICON_H_

#include <windows.h>
// Needs the declarations of windows.h first.
#include <shellapi.h>

namespace duzavide {

// Sent to the owning window for mouse events on the icon; lparam holds the mouse
// message itself (no notification-icon version is set).
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;
inline constexpr UINT kTrayIconId = 1;
inline constexpr wchar_t kTrayTip[] = L"Duzavide VPN";
inline constexpr DWORD kNotifyIconDataSize = 976;

// The record that adds the icon: owner `window`, id 1, the callback message, the
// application icon at the small-icon size (the system application icon when the
// resource cannot be loaded) and the tip.
NOTIFYICONDATAW MakeTrayIconAddRecord(HWND window);

// The record that removes the icon: only size, owner and id.
NOTIFYICONDATAW MakeTrayIconDeleteRecord(HWND window);

// Shell_NotifyIconW, or its replacement in tests.
BOOL NotifyTrayIcon(DWORD message, NOTIFYICONDATAW* data);

using NotifyIconFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);

// Replaces the system call behind NotifyTrayIcon; null restores it. Returns the
// previous replacement (null when none). For tests.
NotifyIconFunction SetNotifyIconFunctionForTesting(NotifyIconFunction function);

}  // namespace duzavide

#endif  // SHELL_TRAY_ICON_H_
