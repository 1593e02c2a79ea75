#include <windows.h>

#include <vector>

#include "base/executable_path.h"

namespace duzavide {

std::wstring ExecutablePath() {
  // Long enough for any path the system hands out, so a deep install folder is
  // not cut short.
  std::vector<wchar_t> path(32768);
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return std::wstring();
  return std::wstring(path.data(), length);
}

}  // namespace duzavide
