// Reads the environment variables that steer the stand-in engine.
#ifndef STANDINS_ENGINE_ENVIRONMENT_H_
#define STANDINS_ENGINE_ENVIRONMENT_H_

#include <windows.h>

#include <string>

namespace duzavide::standin {

// The variable's value, empty when unset.
inline std::wstring EnvironmentValue(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  DWORD written = GetEnvironmentVariableW(name, value.data(), size);
  if (written == 0 || written >= size) return std::wstring();
  value.resize(written);
  return value;
}

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_ENVIRONMENT_H_
