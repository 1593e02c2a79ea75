// Follows the user's light or dark app theme in a window's title bar.
#ifndef SHELL_TITLE_BAR_THEME_H_
#define SHELL_TITLE_BAR_THEME_H_

#include <windows.h>

namespace duzavide {

// Reads "AppsUseLightTheme" from the current user's personalisation settings. When
// the value can be read, asks the window manager for a dark title bar if it is 0
// and explicitly for a light one otherwise. When it cannot be read (missing value
// or key, another type), the title bar is left alone and no request is made.
void ApplyTitleBarTheme(HWND window);

// The window-manager attribute that selects the dark title bar.
inline constexpr DWORD kImmersiveDarkModeAttribute = 20;

using WindowAttributeSetter = HRESULT(WINAPI*)(HWND window, DWORD attribute, LPCVOID value,
                                               DWORD size);

// Replaces the window-manager call that ApplyTitleBarTheme makes; null restores the
// real one. Returns the previous replacement (null when none). For tests.
WindowAttributeSetter SetWindowAttributeSetterForTesting(WindowAttributeSetter setter);

}  // namespace duzavide

#endif  // SHELL_TITLE_BAR_THEME_H_
