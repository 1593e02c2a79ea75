// Helpers shared by the shell tests: message pumping and temporary files.
#ifndef TESTS_SHELL_TEST_SUPPORT_H_
#define TESTS_SHELL_TEST_SUPPORT_H_

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

namespace duzavide::testing_support {

// Runs the message loop until `done` holds or `timeout_ms` passed.
inline void PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 5000) {
  DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < timeout_ms) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(1);
  }
}

// A fresh path in the temporary folder (the file does not exist).
inline std::wstring TemporaryPath(const wchar_t* stem) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  std::wstring path = std::wstring(folder) + stem + L"_" + std::to_wstring(GetCurrentProcessId()) +
                      L"_" + std::to_wstring(GetTickCount());
  DeleteFileW(path.c_str());
  return path;
}

inline void WriteText(const std::wstring& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return;
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

inline std::string ReadText(const std::wstring& path) {
  std::string text;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return text;
  char buffer[1024];
  size_t count;
  while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, count);
  fclose(file);
  return text;
}

}  // namespace duzavide::testing_support

#endif  // TESTS_SHELL_TEST_SUPPORT_H_
