#include "tests/support/core_processes.h"

#include <windows.h>
// Needs the declarations of windows.h first.
#include <tlhelp32.h>

namespace duzavide::tunnel_test {

int CountCoreProcesses() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"xray.exe") == 0) ++count;
  }
  ::CloseHandle(snapshot);
  return count;
}

}  // namespace duzavide::tunnel_test
