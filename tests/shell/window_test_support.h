// Helpers shared by the window tests: message pumping, registry values of the
// current user, and a recorder for the title-bar attribute call.
#ifndef TESTS_SHELL_WINDOW_TEST_SUPPORT_H_
#define TESTS_SHELL_WINDOW_TEST_SUPPORT_H_

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace duzavide {
namespace testing_support {

// Dispatches every queued message of this thread. Returns false if WM_QUIT was
// among them (its exit code goes to `quit_code` when given).
bool PumpPendingMessages(int* quit_code = nullptr);

// Pumps messages until `done` holds or `timeout` passes. Returns `done()`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Sets (a value), or deletes (nullopt), "AppsUseLightTheme" of the current user.
void SetLightThemeValue(std::optional<DWORD> value);
// Stores a text under the same name, a type the reader must not accept.
void SetLightThemeText(const wchar_t* text);
// Deletes the whole personalisation key.
void DeletePersonalizeKey();

// One recorded title-bar attribute request.
struct AttributeRequest {
  HWND window;
  DWORD attribute;
  BOOL value;
  DWORD size;
};

// Installs a recorder in place of the window-manager call for its lifetime.
class ScopedAttributeRecorder {
 public:
  ScopedAttributeRecorder();
  ~ScopedAttributeRecorder();
  const std::vector<AttributeRequest>& requests() const;
  void Clear();
};

}  // namespace testing_support
}  // namespace duzavide

#endif  // TESTS_SHELL_WINDOW_TEST_SUPPORT_H_
