#include "tunnel/data_folder.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on
#include <filesystem>
#include <system_error>

#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"
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

bool CreateDataFolder(const std::wstring& folder, std::string* missing) {
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
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS &&
      missing != nullptr) {
    *missing = WideToUtf8(folder) + " could not be created: " + LastSystemErrorText();
  }
  return false;
}

bool WriteConfigFile(const std::wstring& path, const std::string& text, std::string* failure) {
  std::string stored;
  stored.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool ok = file &&
                  ::WriteFile(file.Get(), stored.data(), static_cast<DWORD>(stored.size()),
                              &written, nullptr) &&
                  written == stored.size();
  if (!ok && failure != nullptr) {
    *failure = WideToUtf8(path) + " could not be written: " + LastSystemErrorText();
  }
  return ok;
}

}  // namespace duzavide
