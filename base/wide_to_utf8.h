// UTF-16 to UTF-8 conversion for texts handed from Windows to the channel side
// and to status lines.
#ifndef BASE_WIDE_TO_UTF8_H_
#define BASE_WIDE_TO_UTF8_H_

#include <string>

namespace duzavide {

// Converts the null-terminated UTF-16 `text` to UTF-8. Returns an empty string for
// null and for text that is not valid UTF-16 (an unpaired surrogate), so a bad
// input never turns into replacement characters.
std::string WideToUtf8(const wchar_t* text);
inline std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.c_str()); }

}  // namespace duzavide

#endif  // BASE_WIDE_TO_UTF8_H_
