#include "tunnel/data_folder/config_file.h"

#include <windows.h>

#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"
#include "base/win_handles.h"
#include "tunnel/data_folder/plain_file.h"
#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

constexpr wchar_t kConfigName[] = L"config.json";
constexpr wchar_t kTemporaryPattern[] = L"config-*.tmp";

std::wstring TemporaryName() { return L"config-" + RandomHexName() + L".tmp"; }

std::string WithCarriageReturns(const std::string& text) {
  std::string stored;
  stored.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
}

// Writes the new file; false (with `failure`) leaves no file behind.
bool WriteTemporary(const std::wstring& temporary, const std::string& bytes, std::string* failure) {
  // Created new, shared with nobody: nothing else can have a handle on it. Owned
  // by Administrators from its creation: a policy may make the user the token's
  // default owner, and an owner may change the list.
  UniqueSecurityDescriptor security = ProtectedFolderSecurity();
  if (!security) {
    *failure = WideToUtf8(temporary) + ": its security could not be built";
    return false;
  }
  UniqueFileHandle file =
      OpenPlainFile(temporary, GENERIC_WRITE | DELETE, 0, CREATE_NEW, failure, security.Get());
  if (!file) return false;
  DWORD written = 0;
  bool ok =
      ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  if (!ok) {
    *failure = WideToUtf8(temporary) + " could not be written: " + LastSystemErrorText();
  } else if (!::FlushFileBuffers(file.Get())) {
    ok = false;
    *failure = WideToUtf8(temporary) + " could not be flushed: " + LastSystemErrorText();
  }
  if (!ok) {
    FILE_DISPOSITION_INFO dispose{TRUE};
    ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &dispose, sizeof(dispose));
  }
  return ok;
}

}  // namespace

bool WriteConfigFile(const std::wstring& folder, const std::string& text, std::wstring* path,
                     std::string* failure) {
  const std::wstring target = folder + L"\\" + kConfigName;
  // Created new under a random name: a clash (or a name planted in advance) fails
  // the write rather than reusing a file.
  const std::wstring temporary = folder + L"\\" + TemporaryName();
  if (!WriteTemporary(temporary, WithCarriageReturns(text), failure)) return false;
  if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *failure = WideToUtf8(target) + " could not be replaced: " + LastSystemErrorText();
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  *path = target;
  return true;
}

void RemoveLeftoverConfigFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((folder + L"\\" + kTemporaryPattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    // Deleting a link removes the link, never what it points to.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

}  // namespace duzavide
