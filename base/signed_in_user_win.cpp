#include "base/signed_in_user.h"

// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <vector>

#include "base/system_error_text.h"

namespace duzavide {
namespace {

std::string TokenUserSid(HANDLE token) {
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    return std::string();
  }
  UniqueLocalMemory<wchar_t*> text;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                text.Receive())) {
    return std::string();
  }
  std::string narrow;
  for (const wchar_t* c = text.Get(); *c != L'\0'; ++c) narrow.push_back(static_cast<char>(*c));
  return narrow;
}

// Runs `open` with the debugging privilege on, on this thread only (a copy of
// the process's token while it impersonates itself); what it opened, or none.
template <typename Open>
UniqueHandle WithDebugPrivilege(const Open& open) {
  UniqueHandle opened;
  if (!::ImpersonateSelf(SecurityImpersonation)) return opened;
  UniqueHandle token;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES, TRUE, token.Receive()) &&
      ::LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid) &&
      ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
      ::GetLastError() == ERROR_SUCCESS) {
    opened = open();
  }
  const DWORD error = ::GetLastError();
  ::RevertToSelf();
  if (!opened) ::SetLastError(error == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : error);
  return opened;
}

// `open` as this account, and where that is refused, with the debugging privilege.
template <typename Open>
UniqueHandle OpenAsAdministrator(const Open& open) {
  UniqueHandle opened = open();
  if (!opened && ::GetLastError() == ERROR_ACCESS_DENIED) opened = WithDebugPrivilege(open);
  return opened;
}

}  // namespace

std::string ThisProcessUserSid() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
    return std::string();
  }
  return TokenUserSid(token.Get());
}

UniqueHandle OpenShellProcess(unsigned long access, std::string* failure) {
  DWORD id = 0;
  const HWND shell = ::GetShellWindow();
  if (shell == nullptr || ::GetWindowThreadProcessId(shell, &id) == 0 || id == 0) {
    *failure = "this session has no shell";
    return UniqueHandle();
  }
  UniqueHandle process =
      OpenAsAdministrator([&] { return UniqueHandle(::OpenProcess(access, FALSE, id)); });
  if (!process) *failure = "the shell's process could not be opened: " + LastSystemErrorText();
  return process;
}

std::string SignedInUserSid(std::string* failure) {
  const UniqueHandle shell = OpenShellProcess(PROCESS_QUERY_LIMITED_INFORMATION, failure);
  if (!shell) return std::string();
  const UniqueHandle token = OpenAsAdministrator([&] {
    UniqueHandle opened;
    ::OpenProcessToken(shell.Get(), TOKEN_QUERY, opened.Receive());
    return opened;
  });
  if (!token) {
    *failure = "the shell's account could not be read: " + LastSystemErrorText();
    return std::string();
  }
  const std::string sid = TokenUserSid(token.Get());
  if (sid.empty()) *failure = "the shell's account could not be read";
  return sid;
}

std::string SignedInOrThisUserSid() {
  std::string failure;
  const std::string sid = SignedInUserSid(&failure);
  return sid.empty() ? ThisProcessUserSid() : sid;
}

}  // namespace duzavide
