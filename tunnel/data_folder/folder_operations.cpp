#include "tunnel/data_folder/folder_operations.h"

#include <windows.h>

#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"
#include "tunnel/data_folder/plain_file.h"
#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

// Creates each missing folder above `path`, plainly: they are the system's own
// (the user's application data folder, ProgramData), or were missing.
void CreateParents(const std::wstring& path) {
  for (size_t separator = path.find(L'\\', 3); separator != std::wstring::npos;
       separator = path.find(L'\\', separator + 1)) {
    ::CreateDirectoryW(path.substr(0, separator).c_str(), nullptr);
  }
}

bool OwnedBySystemOrAdministrators(PSECURITY_DESCRIPTOR security) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return security != nullptr && ::GetSecurityDescriptorOwner(security, &owner, &defaulted) &&
         owner != nullptr &&
         (::IsWellKnownSid(owner, WinLocalSystemSid) ||
          ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
}

// Whether every link on the way to `path` (each folder above it, opened as
// itself) is owned by SYSTEM or the Administrators group: only those may lay the
// machine's folders out over other volumes. `foreign` receives the first that is
// not (or cannot be read), with its owner.
bool LinksAboveTrusted(const std::wstring& path, std::string* foreign) {
  for (size_t separator = path.find(L'\\', 3); separator != std::wstring::npos;
       separator = path.find(L'\\', separator + 1)) {
    const std::wstring above = path.substr(0, separator);
    UniqueFileHandle folder(::CreateFileW(
        above.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !::GetFileInformationByHandle(folder.Get(), &info)) {
      *foreign = WideToUtf8(above) + ", which could not be read";
      return false;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) continue;
    UniqueSecurityDescriptor security = ReadOwnerAndList(folder.Get());
    if (!OwnedBySystemOrAdministrators(security.Get())) {
      PSID owner = nullptr;
      BOOL defaulted = FALSE;
      if (security) ::GetSecurityDescriptorOwner(security.Get(), &owner, &defaulted);
      *foreign = "the link " + WideToUtf8(above) + ", owned by " + SidText(owner);
      return false;
    }
  }
  return true;
}

}  // namespace

FolderFacts SystemFolderOperations::Observe(const std::wstring& path, UniqueFileHandle* held) {
  FolderFacts facts;
  // Listing and traversal are data access: only a handle with data access takes
  // part in sharing, so only such a handle keeps others from renaming the folder.
  UniqueFileHandle folder(::CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    const DWORD error = ::GetLastError();
    facts.exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    facts.open_failure = SystemErrorText(error);
    return facts;
  }
  facts.exists = true;
  facts.opened = true;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(folder.Get(), &info)) {
    facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.reparse_point = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  } else {
    facts.reparse_point = true;  // unknown counts as the worst
  }
  const std::wstring final_path = FinalPathOf(folder.Get());
  facts.final_path_matches = SamePath(final_path, path);
  // A real path that cannot be read may lie anywhere: the links above say nothing.
  if (final_path.empty()) {
    facts.foreign_link = "a way the host cannot read";
  } else if (!facts.final_path_matches) {
    facts.links_above_trusted = LinksAboveTrusted(path, &facts.foreign_link);
  }
  UniqueSecurityDescriptor security = ReadOwnerAndList(folder.Get());
  facts.list_as_set = HasSecurityAsSet(security.Get(), security_, &facts.owner_as_set);
  if (security) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(security.Get(), &owner, &defaulted);
    facts.owner = SidText(owner);
  } else {
    facts.owner = "an unreadable account";
  }
  if (facts.directory && !facts.reparse_point &&
      (facts.final_path_matches || facts.links_above_trusted) &&
      !(facts.owner_as_set && facts.list_as_set)) {
    facts.volume_keeps_lists = VolumeKeepsLists(folder.Get(), path, security_);
  }
  *held = std::move(folder);
  return facts;
}

bool VolumeKeepsLists(HANDLE folder, const std::wstring& path, PSECURITY_DESCRIPTOR security) {
  DWORD flags = 0;
  if (!::GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return true;
  }
  if ((flags & FILE_PERSISTENT_ACLS) == 0) return false;
  // A file of our own, created by handle with `security` and read back through
  // that handle, shows whether the volume keeps what it says.
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
  UniqueFileHandle probe(::CreateFileW(
      (path + L"\\.security-probe-" + RandomHexName()).c_str(), READ_CONTROL | DELETE, 0,
      &attributes, CREATE_NEW,
      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!probe) return true;
  bool owner_kept = false;
  HasSecurityAsSet(ReadOwnerAndList(probe.Get()).Get(), security, &owner_kept);
  return owner_kept;
}

VolumeKind VolumeKindOf(const std::wstring& path) {
  wchar_t root[MAX_PATH] = {};
  if (!::GetVolumePathNameW(path.c_str(), root, MAX_PATH)) return VolumeKind::kOther;
  switch (::GetDriveTypeW(root)) {
    case DRIVE_FIXED:
      return VolumeKind::kLocalFixed;
    case DRIVE_REMOTE:
      return VolumeKind::kNetwork;
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
      return VolumeKind::kRemovable;
    default:
      return VolumeKind::kOther;
  }
}

bool SystemFolderOperations::Create(const std::wstring& path, std::string* failure) {
  CreateParents(path);
  // Given at creation, so the folder is never there without its protection.
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), security_, FALSE};
  if (::CreateDirectoryW(path.c_str(), &attributes)) return true;
  *failure = LastSystemErrorText();
  return false;
}

bool SystemFolderOperations::MoveAside(const std::wstring& path, const std::wstring& aside,
                                       std::string* failure) {
  if (::MoveFileExW(path.c_str(), aside.c_str(), 0)) return true;
  *failure = LastSystemErrorText();
  return false;
}

bool SystemFolderOperations::RemoveEmpty(const std::wstring& path, std::string* failure) {
  UniqueFileHandle folder(
      ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    *failure = LastSystemErrorText();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *failure = "it is not a plain folder";
    return false;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (::SetFileInformationByHandle(folder.Get(), FileDispositionInfo, &disposition,
                                   sizeof(disposition))) {
    return true;
  }
  *failure = LastSystemErrorText();
  return false;
}

}  // namespace duzavide
