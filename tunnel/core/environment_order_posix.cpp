#include <algorithm>
#include <cwctype>

#include "tunnel/core/environment_order.h"

namespace duzavide {

bool EnvironmentNameBefore(const std::wstring& a, const std::wstring& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](wchar_t x, wchar_t y) {
                                        return std::towupper(static_cast<std::wint_t>(x)) <
                                               std::towupper(static_cast<std::wint_t>(y));
                                      });
}

}  // namespace duzavide
