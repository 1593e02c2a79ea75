#include "tunnel/data_folder.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on
#include <share.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/win_handles.h"

namespace duzavide {
namespace {

// Gives the existing `folder` the owner and the protected access list of
// `security`. Files already inside take on the inheritable entries.
bool ProtectExistingFolder(const std::wstring& folder, PSECURITY_DESCRIPTOR security) {
  // Opened as itself, not through a link: a junction planted under this name must
  // not make the host rewrite the access list of wherever it points.
  UniqueFileHandle handle(
      ::CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorOwner(security, &owner, &defaulted) ||
      !::GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted)) {
    return false;
  }
  return ::SetSecurityInfo(handle.Get(), SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                               PROTECTED_DACL_SECURITY_INFORMATION,
                           owner, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::wstring DataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(
          ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return L"C:\\ProgramData\\Duzavide";
  }
  return std::wstring(folder) + L"\\Duzavide";
}

std::wstring ConfigFilePath() { return DataFolder() + L"\\config.json"; }

void LocalFreeDeleter::operator()(void* memory) const { ::LocalFree(memory); }

OwnedSecurityDescriptor ProtectedFolderSecurity() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return nullptr;
  }
  return OwnedSecurityDescriptor(descriptor);
}

bool CreateDataFolder(const std::wstring& folder) {
  OwnedSecurityDescriptor security = ProtectedFolderSecurity();
  std::filesystem::path path(folder);
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (security) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
    if (::CreateDirectoryW(folder.c_str(), &attributes)) return true;
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
      return ProtectExistingFolder(folder, security.get());
  }
  // Without administrator rights the owner cannot be set; the folder is still needed.
  std::filesystem::create_directories(path, error);
  return false;
}

bool WriteConfigFile(const std::wstring& path, const std::string& text) {
  FILE* file = ::_wfsopen(path.c_str(), L"w", _SH_DENYNO);
  if (file == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace duzavide
