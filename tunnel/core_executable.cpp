#include "tunnel/core_executable.h"

#include <aclapi.h>
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tunnel/core_trust.h"
#include "tunnel/data_folder.h"

namespace duzavide {
namespace {

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The path the open `file` really has, links resolved, without the "\\?\" prefix.
std::wstring FinalPath(HANDLE file) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length =
        ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
      if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
      return path;
    }
    buffer.resize(length + 1);
  }
  return std::wstring();
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Opens and checks the data folder's core. On success `core` holds the path and
// the open file; otherwise `core->skipped` says why.
void TakeIfTrusted(const std::wstring& data_folder, const std::wstring& candidate,
                   CoreExecutable* core) {
  // Read sharing only: from here on nobody can write, rename or delete the file
  // (nor, on NTFS, rename a folder above it), while the core can still be started
  // from it.
  UniqueFileHandle file(::CreateFileW(candidate.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    core->skipped = "the file could not be opened (error " + std::to_string(::GetLastError()) + ")";
    return;
  }
  PSECURITY_DESCRIPTOR raw = nullptr;
  DWORD error = ::GetSecurityInfo(file.Get(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, nullptr, nullptr, &raw);
  OwnedSecurityDescriptor file_security(error == ERROR_SUCCESS ? raw : nullptr);
  raw = nullptr;
  error = ::GetNamedSecurityInfoW(data_folder.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, nullptr, nullptr, &raw);
  OwnedSecurityDescriptor folder_security(error == ERROR_SUCCESS ? raw : nullptr);
  std::string problem = CoreTrustProblem(file_security.get(), folder_security.get());
  // A link on the way could be pointed elsewhere after the check; a path without
  // one stays put while the file is held open.
  if (problem.empty()) {
    const std::wstring final_path = FinalPath(file.Get());
    if (final_path.empty()) {
      problem = "the file's real path could not be read";
    } else if (!SamePath(final_path, candidate)) {
      problem = "the path goes through a link";
    }
  }
  if (!problem.empty()) {
    core->skipped = problem;
    return;
  }
  core->path = candidate;
  core->held = std::move(file);
}

}  // namespace

std::wstring ParentDirectory(const std::wstring& path) {
  size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos) return std::wstring();
  size_t end = path.find_last_not_of(L"\\/", last);
  return end == std::wstring::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

CoreExecutable LocateCoreExecutable(const std::wstring& data_folder) {
  CoreExecutable core;
  std::wstring candidate = data_folder + L"\\xray.exe";
  if (Exists(candidate)) {
    TakeIfTrusted(data_folder, candidate, &core);
    if (!core.path.empty()) return core;
  }
  // Long enough for any path the system hands out, so a deep install folder does
  // not lose the fallback.
  std::vector<wchar_t> module(32768);
  DWORD length = ::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
  if (length > 0 && length < module.size()) {
    std::wstring beside = ParentDirectory(std::wstring(module.data(), length)) + L"\\xray.exe";
    if (Exists(beside)) core.path = beside;
  }
  return core;
}

std::wstring CoreCommandLine(const std::wstring& core_path, const std::wstring& config_path) {
  return L"\"" + core_path + L"\" run -c \"" + config_path + L"\"";
}

}  // namespace duzavide
