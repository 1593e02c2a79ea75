#include "tunnel/proxy_setting/dial_up_entries.h"

// clang-format off
#include <windows.h>
#include <ras.h>
#include <raserror.h>
// clang-format on

#include "base/win_handles.h"

namespace duzavide {
namespace {

using EnumConnections = DWORD(WINAPI*)(RASCONNW*, DWORD*, DWORD*);
using EnumEntries = DWORD(WINAPI*)(const wchar_t*, const wchar_t*, RASENTRYNAMEW*, DWORD*, DWORD*);

UniqueModule LoadRemoteAccess() {
  return UniqueModule(::LoadLibraryExW(L"rasapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

// Calls `list` (RasEnumConnectionsW or RasEnumEntriesW, bound to its leading
// arguments) until the records fit: their number may grow between two calls.
// Each record's dwSize is set as the call demands. Nothing when the call fails.
template <typename Record, typename List>
std::optional<std::vector<Record>> ReadRecords(const List& list) {
  std::vector<Record> records(1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    for (Record& record : records) record.dwSize = sizeof(Record);
    DWORD bytes = static_cast<DWORD>(records.size() * sizeof(Record));
    DWORD count = 0;
    const DWORD status = list(records.data(), &bytes, &count);
    if (status == ERROR_SUCCESS) {
      records.resize(count < records.size() ? count : records.size());
      return records;
    }
    if (status != ERROR_BUFFER_TOO_SMALL) return std::nullopt;
    records.resize(bytes / sizeof(Record) + 2);
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::wstring> ConnectedDialUpEntries() {
  const UniqueModule library = LoadRemoteAccess();
  const auto enumerate = library ? reinterpret_cast<EnumConnections>(reinterpret_cast<void*>(
                                       ::GetProcAddress(library.Get(), "RasEnumConnectionsW")))
                                 : nullptr;
  if (enumerate == nullptr) return {};
  const std::optional<std::vector<RASCONNW>> connections =
      ReadRecords<RASCONNW>([&](RASCONNW* records, DWORD* bytes, DWORD* count) {
        return enumerate(records, bytes, count);
      });
  std::vector<std::wstring> names;
  if (!connections) return names;
  for (const RASCONNW& connection : *connections) {
    if (connection.szEntryName[0] != L'\0') names.emplace_back(connection.szEntryName);
  }
  return names;
}

std::optional<std::vector<std::wstring>> DialUpEntries() {
  const UniqueModule library = LoadRemoteAccess();
  const auto enumerate = library ? reinterpret_cast<EnumEntries>(reinterpret_cast<void*>(
                                       ::GetProcAddress(library.Get(), "RasEnumEntriesW")))
                                 : nullptr;
  if (enumerate == nullptr) return std::nullopt;
  // No phonebook named: the entries of every phonebook of the user and the machine.
  const std::optional<std::vector<RASENTRYNAMEW>> entries =
      ReadRecords<RASENTRYNAMEW>([&](RASENTRYNAMEW* records, DWORD* bytes, DWORD* count) {
        return enumerate(nullptr, nullptr, records, bytes, count);
      });
  if (!entries) return std::nullopt;
  std::vector<std::wstring> names;
  for (const RASENTRYNAMEW& entry : *entries) names.emplace_back(entry.szEntryName);
  return names;
}

}  // namespace duzavide
