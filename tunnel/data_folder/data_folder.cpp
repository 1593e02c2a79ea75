#include "tunnel/data_folder/data_folder.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <sddl.h>
#include <aclapi.h>
// clang-format on

#include <vector>

#include "base/win_handles.h"
#include "tunnel/data_folder/folder_operations.h"
#include "tunnel/data_folder/plain_file.h"

namespace duzavide {
namespace {

constexpr wchar_t kProtectedSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

OwnedSecurityDescriptor FromSddl(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return nullptr;
  }
  return OwnedSecurityDescriptor(descriptor);
}

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

void LocalFreeDeleter::operator()(void* memory) const { ::LocalFree(memory); }

OwnedSecurityDescriptor ReadOwnerAndList(void* object) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (::GetSecurityInfo(object, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, &raw) != ERROR_SUCCESS) {
    return nullptr;
  }
  return OwnedSecurityDescriptor(raw);
}

OwnedSecurityDescriptor ProtectedFolderSecurity() { return FromSddl(kProtectedSddl); }

OwnedSecurityDescriptor LogsFolderSecurity(const std::string& reader_sid) {
  if (reader_sid.empty()) return nullptr;
  // FR: generic file read (data, attributes, extended attributes, security), no
  // right that changes anything.
  return FromSddl(std::wstring(kProtectedSddl) + L"(A;OICI;FR;;;" +
                  std::wstring(reader_sid.begin(), reader_sid.end()) + L")");
}

std::string CurrentUserSid() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::string();
  UniqueHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
    return std::string();
  }
  const std::string text = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  return text.rfind("S-", 0) == 0 ? text : std::string();
}

VerifiedFolder VerifyDataFolder() {
  OwnedSecurityDescriptor security = ProtectedFolderSecurity();
  if (!security) return Unusable("the folder's security could not be built");
  SystemFolderOperations operations(security.get());
  std::vector<std::wstring> paths{DataFolder()};
  const std::wstring shared = SharedDataFolder();
  if (!SamePath(shared, paths.front())) paths.push_back(shared);
  return VerifyFirstUsableFolder(operations, paths, UtcStamp());
}

VerifiedFolder VerifyLogsFolder(const VerifiedFolder& data_folder) {
  if (data_folder.path.empty()) return Unusable("there is no data folder");
  OwnedSecurityDescriptor security = LogsFolderSecurity(CurrentUserSid());
  if (!security) return Unusable("the logs folder's security could not be built");
  SystemFolderOperations operations(security.get());
  VerifiedFolder logs = VerifyFolder(operations, data_folder.path + L"\\logs", UtcStamp());
  // Said once, for the data folder, when the whole volume keeps no lists.
  if (!data_folder.is_protected) logs.unprotected_note.clear();
  return logs;
}

}  // namespace duzavide
