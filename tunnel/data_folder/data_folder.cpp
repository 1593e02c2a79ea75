#include "tunnel/data_folder/data_folder.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <vector>

#include "base/signed_in_user.h"
#include "tunnel/data_folder/data_folder_place.h"
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

DataFolderPlace ReadDataFolderPlace() {
  DataFolderPlaceFacts facts;
  wchar_t buffer[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) facts.windows_folder.assign(buffer, length);
  // As stored: its variables are expanded by the rule, not from the host's
  // environment, which the user can set.
  DWORD size = sizeof(buffer);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                     L"ProgramData", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     buffer, &size) == ERROR_SUCCESS) {
    facts.program_data_record = buffer;
  }
  const std::string sid = CurrentUserSid();
  facts.user_sid.assign(sid.begin(), sid.end());
  // The volume of the folder the rule will name: the record's drive, or the
  // Windows folder's.
  const std::wstring root =
      facts.program_data_record.size() >= 2 && facts.program_data_record[1] == L':'
          ? facts.program_data_record.substr(0, 2)
          : facts.windows_folder.substr(0, 2);
  facts.volume = VolumeKindOf(root + L"\\");
  return DecideDataFolderPlace(facts);
}

std::wstring DataFolder() { return ReadDataFolderPlace().per_user; }

std::wstring SharedDataFolder() { return ReadDataFolderPlace().shared; }

std::wstring LogsFolder() { return ReadDataFolderPlace().logs; }

void EnableRedirectionTrust() {
  // PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY: bit 0 enforces. Newer than the
  // headers, and absent before Windows 10 21H2, so looked up and best effort.
  struct RedirectionTrustPolicy {
    DWORD flags;
  } policy{1};
  constexpr int kProcessRedirectionTrustPolicy = 16;
  using SetPolicy = BOOL(WINAPI*)(int, PVOID, SIZE_T);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto set_policy = reinterpret_cast<SetPolicy>(
      kernel != nullptr
          ? reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessMitigationPolicy"))
          : nullptr);
  if (set_policy != nullptr) set_policy(kProcessRedirectionTrustPolicy, &policy, sizeof(policy));
}

std::wstring ConfigFilePath() { return DataFolder() + L"\\config.json"; }

VerifiedFolder VerifyDataFolder() {
  UniqueSecurityDescriptor security = ProtectedFolderSecurity();
  if (!security) return Unusable("the folder's security could not be built");
  const DataFolderPlace place = ReadDataFolderPlace();
  if (!place.refusal.empty()) return Unusable(place.refusal);
  SystemFolderOperations operations(security.Get());
  std::vector<std::wstring> paths{place.per_user, place.shared};
  return VerifyFirstUsableFolder(operations, paths, UtcStamp());
}

VerifiedFolder VerifyLogsFolder(const VerifiedFolder& data_folder) {
  if (data_folder.path.empty()) return Unusable("there is no data folder");
  UniqueSecurityDescriptor security = LogsFolderSecurity(SignedInOrThisUserSid());
  if (!security) return Unusable("the logs folder's security could not be built");
  const std::wstring path = LogsFolder();
  if (path.empty()) return Unusable("the logs folder's place is refused");
  SystemFolderOperations operations(security.Get());
  VerifiedFolder logs = VerifyFolder(operations, path, UtcStamp());
  // Said once, for the data folder, when the whole volume keeps no lists.
  if (!data_folder.is_protected) logs.unprotected_note.clear();
  return logs;
}

}  // namespace duzavide
