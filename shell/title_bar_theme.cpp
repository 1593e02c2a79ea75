#include "shell/title_bar_theme.h"

#include <dwmapi.h>

namespace duzavide {

namespace {

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";

WindowAttributeSetter g_setter_for_testing = nullptr;

}  // namespace

void ApplyTitleBarTheme(HWND window) {
  DWORD light_theme = 0;
  DWORD size = sizeof(light_theme);
  const LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue,
                                        RRF_RT_REG_DWORD, nullptr, &light_theme, &size);
  if (status != ERROR_SUCCESS) return;
  const BOOL dark = light_theme == 0 ? TRUE : FALSE;
  WindowAttributeSetter setter =
      g_setter_for_testing != nullptr ? g_setter_for_testing : &::DwmSetWindowAttribute;
  setter(window, kImmersiveDarkModeAttribute, &dark, sizeof(dark));
}

WindowAttributeSetter SetWindowAttributeSetterForTesting(WindowAttributeSetter setter) {
  WindowAttributeSetter previous = g_setter_for_testing;
  g_setter_for_testing = setter;
  return previous;
}

}  // namespace duzavide
