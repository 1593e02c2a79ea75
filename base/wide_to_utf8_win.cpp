#include <windows.h>

#include <cwchar>

#include "base/wide_to_utf8.h"

namespace duzavide {

std::string WideToUtf8(const wchar_t* text) {
  if (text == nullptr) return std::string();
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  // The size asked for with length -1 counts the terminator; the string holds its own.
  std::string utf8(static_cast<size_t>(needed - 1), '\0');
  const int written = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text,
                                            static_cast<int>(std::wcslen(text)), utf8.data(),
                                            needed, nullptr, nullptr);
  if (written <= 0) return std::string();
  return utf8;
}

}  // namespace duzavide
