#include "tunnel/proxy_setting/proxy_journal.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/executable_path.h"
#include "base/system_error_text.h"
#include "base/win_handles.h"

namespace duzavide {
namespace {

constexpr wchar_t kJournalKey[] = L"Software\\Duzavide\\Connect";
constexpr wchar_t kJournalValue[] = L"ProxyRestore";
constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kRunOnceValue[] = L"DuzavideProxyRestore";
constexpr wchar_t kRestoreProgram[] = L"DuzavideProxyRestore.exe";

LSTATUS CreateUserKey(const wchar_t* path, UniqueRegistryKey* key) {
  return ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, key->Receive(), nullptr);
}

// Deletes `value` of `path`; a value or key that is not there counts as deleted.
LSTATUS DeleteUserValue(const wchar_t* path, const wchar_t* value) {
  UniqueRegistryKey key;
  LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  status = ::RegDeleteValueW(key.Get(), value);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

std::wstring ThisProgramFolder() {
  const std::wstring path = ExecutablePath();
  return path.substr(0, path.find_last_of(L"\\/"));
}

}  // namespace

std::wstring ProxyRestoreCommand() {
  return L"\"" + ThisProgramFolder() + L"\\" + kRestoreProgram + L"\"";
}

ProxyJournalState LoadProxyJournal(ConnectionProxies* saved, std::string* failure) {
  // The value may change size between the two calls; read until it fits.
  std::wstring data;
  LSTATUS status = ERROR_MORE_DATA;
  DWORD type = 0;
  DWORD bytes = 0;
  for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
    status = ::RegGetValueW(HKEY_CURRENT_USER, kJournalKey, kJournalValue, RRF_RT_ANY, &type,
                            nullptr, &bytes);
    if (status != ERROR_SUCCESS) break;
    // Room for the terminators RegGetValueW may add.
    data.assign(bytes / sizeof(wchar_t) + 2, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = ::RegGetValueW(HKEY_CURRENT_USER, kJournalKey, kJournalValue, RRF_RT_ANY, &type,
                            &data[0], &bytes);
  }
  if (status == ERROR_FILE_NOT_FOUND) return ProxyJournalState::kNone;
  if (status != ERROR_SUCCESS) {
    *failure = SystemErrorText(static_cast<unsigned long>(status));
    return ProxyJournalState::kUnreachable;
  }
  if (type != REG_MULTI_SZ) {
    *failure = "the value is not a list of texts";
    return ProxyJournalState::kUnreadable;
  }
  const size_t chars = std::min<size_t>(bytes / sizeof(wchar_t), data.size());
  std::optional<ConnectionProxies> decoded =
      DecodeProxyJournal(SplitMultiString(data.data(), chars));
  if (!decoded) {
    *failure = "the value is not a journal of this program";
    return ProxyJournalState::kUnreadable;
  }
  *saved = std::move(*decoded);
  return ProxyJournalState::kPresent;
}

bool SaveProxyJournal(const ConnectionProxies& saved, std::string* failure) {
  const std::wstring data = JoinMultiString(EncodeProxyJournal(saved));
  UniqueRegistryKey key;
  LSTATUS status = CreateUserKey(kJournalKey, &key);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExW(key.Get(), kJournalValue, 0, REG_MULTI_SZ,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size() * sizeof(wchar_t)));
  }
  if (status == ERROR_SUCCESS) status = ::RegFlushKey(key.Get());
  if (status != ERROR_SUCCESS) {
    *failure = "the current setting could not be saved: " +
               SystemErrorText(static_cast<unsigned long>(status));
    return false;
  }
  RegisterProxyRestoreAtSignIn();
  return true;
}

void RegisterProxyRestoreAtSignIn() {
  UniqueRegistryKey run_once;
  const std::wstring command = ProxyRestoreCommand();
  if (CreateUserKey(kRunOnceKey, &run_once) == ERROR_SUCCESS) {
    ::RegSetValueExW(run_once.Get(), kRunOnceValue, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(command.c_str()),
                     static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  }
}

bool DeleteProxyJournal(std::string* failure) {
  const LSTATUS status = DeleteUserValue(kJournalKey, kJournalValue);
  if (status != ERROR_SUCCESS) {
    *failure = "the saved setting could not be deleted: " +
               SystemErrorText(static_cast<unsigned long>(status));
    return false;
  }
  // Left in place, it would only start a program that finds nothing to do.
  DeleteUserValue(kRunOnceKey, kRunOnceValue);
  return true;
}

}  // namespace duzavide
