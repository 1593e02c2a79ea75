#include "tests/shell/window_test_support.h"

#include <gtest/gtest.h>

#include "shell/title_bar_theme.h"

namespace duzavide {
namespace testing_support {

namespace {

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";

std::vector<AttributeRequest> g_requests;

HRESULT WINAPI RecordRequest(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  BOOL flag = -1;
  if (value != nullptr && size == sizeof(BOOL)) flag = *static_cast<const BOOL*>(value);
  g_requests.push_back({window, attribute, flag, size});
  return S_OK;
}

}  // namespace

bool PumpPendingMessages(int* quit_code) {
  MSG message;
  bool running = true;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      running = false;
      if (quit_code != nullptr) *quit_code = static_cast<int>(message.wParam);
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return running;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    PumpPendingMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

void SetLightThemeValue(std::optional<DWORD> value) {
  if (value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, REG_DWORD,
                                &*value, sizeof(DWORD)),
              ERROR_SUCCESS);
  } else {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue);
  }
}

void SetLightThemeText(const wchar_t* text) {
  const DWORD bytes = static_cast<DWORD>((::wcslen(text) + 1) * sizeof(wchar_t));
  ASSERT_EQ(
      ::RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, REG_SZ, text, bytes),
      ERROR_SUCCESS);
}

void DeletePersonalizeKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kPersonalizeKey); }

ScopedAttributeRecorder::ScopedAttributeRecorder() {
  g_requests.clear();
  SetWindowAttributeSetterForTesting(&RecordRequest);
}

ScopedAttributeRecorder::~ScopedAttributeRecorder() {
  SetWindowAttributeSetterForTesting(nullptr);
  g_requests.clear();
}

const std::vector<AttributeRequest>& ScopedAttributeRecorder::requests() const {
  return g_requests;
}

void ScopedAttributeRecorder::Clear() { g_requests.clear(); }

}  // namespace testing_support
}  // namespace duzavide
