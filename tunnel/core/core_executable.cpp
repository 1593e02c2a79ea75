#include "tunnel/core/core_executable.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/executable_path.h"
#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"
#include "tunnel/core/core_trust.h"
#include "tunnel/data_folder/plain_file.h"
#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One file of a data folder core, open as itself with read sharing only: from
// here on nobody can write, rename or delete it (nor, on NTFS, rename a folder
// above it), while the core can still start from it and read it.
struct HeldCoreFile {
  UniqueFileHandle handle;
  CoreFile observed;
};

// "" when `path` was opened (or, for an optional file, is absent: `file->handle`
// stays empty); otherwise why not.
std::string OpenCoreFile(const std::wstring& path, const std::string& name, bool optional,
                         HeldCoreFile* file) {
  file->observed.name = name;
  file->handle.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file->handle) {
    const DWORD error = ::GetLastError();
    if (optional && error == ERROR_FILE_NOT_FOUND) return std::string();
    return name + " could not be opened: " + SystemErrorText(error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file->handle.Get(), &info)) {
    return name + " could not be examined: " + LastSystemErrorText();
  }
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return name + " is a link or a folder";
  }
  // A link on the way could be pointed elsewhere after the check; a path without
  // one stays put while the file is held open.
  const std::wstring final_path = FinalPathOf(file->handle.Get());
  if (final_path.empty()) return name + "'s real path could not be read";
  if (!SamePath(final_path, path)) return name + "'s path goes through a link";
  // Judged with the owner and the list, by the trust rule.
  file->observed.links = info.nNumberOfLinks;
  file->observed.security = ReadSecurityFacts(ReadOwnerAndList(file->handle.Get()).Get());
  return std::string();
}

// Opens and checks the data folder's core and companions. On success `core` holds
// the path and the open files; otherwise `core->skipped` says why.
void TakeIfTrusted(const VerifiedFolder& data_folder, const std::wstring& candidate,
                   CoreExecutable* core) {
  if (!data_folder.is_protected) {
    core->skipped = "the data folder cannot be protected";
    return;
  }
  std::vector<HeldCoreFile> files(1);
  std::string problem = OpenCoreFile(candidate, "xray.exe", false, &files[0]);
  for (const wchar_t* companion : kCoreCompanionFiles) {
    if (!problem.empty()) break;
    HeldCoreFile file;
    problem =
        OpenCoreFile(data_folder.path + L"\\" + companion, WideToUtf8(companion), true, &file);
    if (file.handle) files.push_back(std::move(file));
  }
  if (problem.empty()) {
    std::vector<CoreFile> observed;
    for (const HeldCoreFile& file : files) observed.push_back(file.observed);
    problem = CoreTrustProblem(observed,
                               ReadSecurityFacts(ReadOwnerAndList(data_folder.held.Get()).Get()));
  }
  if (!problem.empty()) {
    core->skipped = problem;
    return;
  }
  core->path = candidate;
  core->held = std::move(files[0].handle);
  for (size_t i = 1; i < files.size(); ++i) {
    core->held_companions.push_back(std::move(files[i].handle));
  }
}

}  // namespace

std::wstring ParentDirectory(const std::wstring& path) {
  size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos) return std::wstring();
  size_t end = path.find_last_not_of(L"\\/", last);
  return end == std::wstring::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

CoreExecutable LocateCoreExecutable(const VerifiedFolder& data_folder) {
  CoreExecutable core;
  const std::wstring candidate = data_folder.path + L"\\xray.exe";
  if (Exists(candidate)) {
    TakeIfTrusted(data_folder, candidate, &core);
    if (!core.path.empty()) return core;
  }
  const std::wstring module = ExecutablePath();
  if (!module.empty()) {
    std::wstring beside = ParentDirectory(module) + L"\\xray.exe";
    if (Exists(beside)) core.path = beside;
  }
  return core;
}

std::wstring CoreCommandLine(const std::wstring& core_path, const std::wstring& config_path) {
  return L"\"" + core_path + L"\" run -c \"" + config_path + L"\"";
}

}  // namespace duzavide
