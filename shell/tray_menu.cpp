#include "shell/tray_menu.h"

namespace duzavide {

HMENU CreateTrayMenu(bool connected) {
  HMENU menu = ::CreatePopupMenu();
  ::AppendMenuW(menu, MF_STRING, kTrayCommandShowWindow, kTrayTextShowWindow);
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, kTrayCommandConnect, kTrayTextConnect);
  ::AppendMenuW(menu, MF_STRING, kTrayCommandDisconnect, kTrayTextDisconnect);
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, kTrayCommandExit, kTrayTextExit);
  ::EnableMenuItem(menu, connected ? kTrayCommandConnect : kTrayCommandDisconnect,
                   MF_BYCOMMAND | MF_GRAYED);
  return menu;
}

void ShowTrayMenu(HWND window, bool connected) {
  HMENU menu = CreateTrayMenu(connected);
  POINT cursor{};
  ::GetCursorPos(&cursor);
  // The menu closes on a click elsewhere only when its owner is in the foreground.
  ::SetForegroundWindow(window);
  ::TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window, nullptr);
  // Lets the owner process a message, so that the menu can be reopened right away.
  ::PostMessageW(window, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
}

}  // namespace duzavide
