#include "tunnel/data_folder/data_folder.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <vector>

#include "tunnel/data_folder/folder_operations.h"
#include "tunnel/data_folder/plain_file.h"
#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

VerifiedFolder Unusable(const std::string& problem) {
  VerifiedFolder folder;
  folder.problem = problem;
  return folder;
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

std::wstring SharedDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(
          ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return L"C:\\ProgramData\\Duzavide";
  }
  return std::wstring(folder) + L"\\Duzavide";
}

std::wstring ConfigFilePath() { return DataFolder() + L"\\config.json"; }

VerifiedFolder VerifyDataFolder() {
  UniqueSecurityDescriptor security = ProtectedFolderSecurity();
  if (!security) return Unusable("the folder's security could not be built");
  SystemFolderOperations operations(security.Get());
  std::vector<std::wstring> paths{DataFolder()};
  const std::wstring shared = SharedDataFolder();
  if (!SamePath(shared, paths.front())) paths.push_back(shared);
  return VerifyFirstUsableFolder(operations, paths, UtcStamp());
}

VerifiedFolder VerifyLogsFolder(const VerifiedFolder& data_folder) {
  if (data_folder.path.empty()) return Unusable("there is no data folder");
  UniqueSecurityDescriptor security = LogsFolderSecurity(CurrentUserSid());
  if (!security) return Unusable("the logs folder's security could not be built");
  SystemFolderOperations operations(security.Get());
  VerifiedFolder logs = VerifyFolder(operations, data_folder.path + L"\\logs", UtcStamp());
  // Said once, for the data folder, when the whole volume keeps no lists.
  if (!data_folder.is_protected) logs.unprotected_note.clear();
  return logs;
}

}  // namespace duzavide
