#include <windows.h>

#include "base/system_error_text.h"

namespace duzavide {

std::string SystemErrorText(unsigned long code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::string text;
  if (length > 0 && message != nullptr) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, message, static_cast<int>(length), nullptr,
                                            0, nullptr, nullptr);
    if (bytes > 0) {
      text.resize(static_cast<size_t>(bytes));
      ::WideCharToMultiByte(CP_UTF8, 0, message, static_cast<int>(length), text.data(), bytes,
                            nullptr, nullptr);
    }
  }
  if (message != nullptr) ::LocalFree(message);
  // The system's messages end in a full stop and a line break; a status line
  // carries neither.
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  const std::string number = "error " + std::to_string(code);
  return text.empty() ? number : text + " (" + number + ")";
}

std::string LastSystemErrorText() { return SystemErrorText(::GetLastError()); }

}  // namespace duzavide
