#include <windows.h>

#include "tunnel/core/environment_order.h"

namespace duzavide {

bool EnvironmentNameBefore(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

}  // namespace duzavide
