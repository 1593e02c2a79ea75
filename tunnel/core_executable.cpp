#include "tunnel/core_executable.h"

#include <windows.h>

#include <vector>

namespace duzavide {
namespace {

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::wstring ParentDirectory(const std::wstring& path) {
  size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos) return std::wstring();
  size_t end = path.find_last_not_of(L"\\/", last);
  return end == std::wstring::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

std::wstring LocateCoreExecutable(const std::wstring& data_folder) {
  std::wstring candidate = data_folder + L"\\xray.exe";
  if (Exists(candidate)) return candidate;
  // Long enough for any path the system hands out, so a deep install folder does
  // not lose the fallback.
  std::vector<wchar_t> module(32768);
  DWORD length = ::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
  if (length > 0 && length < module.size()) {
    std::wstring beside = ParentDirectory(std::wstring(module.data(), length)) + L"\\xray.exe";
    if (Exists(beside)) return beside;
  }
  return std::wstring();
}

std::wstring CoreCommandLine(const std::wstring& core_path, const std::wstring& config_path) {
  return L"\"" + core_path + L"\" run -c \"" + config_path + L"\"";
}

}  // namespace duzavide
