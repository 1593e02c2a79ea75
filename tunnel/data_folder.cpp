#include "tunnel/data_folder.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on
#include <share.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace duzavide {

std::wstring DataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(
          ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return L"C:\\ProgramData\\Duzavide";
  }
  return std::wstring(folder) + L"\\Duzavide";
}

std::wstring ConfigFilePath() { return DataFolder() + L"\\config.json"; }

bool CreateDataFolder(const std::wstring& folder) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(folder), error);
  return !error;
}

bool WriteConfigFile(const std::wstring& path, const std::string& text) {
  FILE* file = ::_wfsopen(path.c_str(), L"w", _SH_DENYNO);
  if (file == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace duzavide
