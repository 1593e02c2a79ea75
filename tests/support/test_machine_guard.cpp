// Linked into every Windows test program. The tests delete and rewrite the data
// folder, place a proxy core there and switch the proxy and theme settings: fine in
// the private Wine prefix the test script makes, harmful on a person's own Windows
// account. Outside Wine the program stops before any test runs, unless
// DUZAVIDE_TESTS_MAY_CHANGE_THIS_MACHINE=1 says that this machine may be changed.
#include <windows.h>

#include <cstdio>

namespace {

bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool MayChangeThisMachine() {
  wchar_t value[4] = {};
  DWORD length = ::GetEnvironmentVariableW(L"DUZAVIDE_TESTS_MAY_CHANGE_THIS_MACHINE", value, 4);
  return length == 1 && value[0] == L'1';
}

// Runs while the program's globals are set up, before main and any test.
const bool kChecked = [] {
  if (UnderWine() || MayChangeThisMachine()) return true;
  std::fputs(
      "refusing to run outside Wine: these tests rewrite the Duzavide data folder and this "
      "account's proxy and theme settings; set DUZAVIDE_TESTS_MAY_CHANGE_THIS_MACHINE=1 to run "
      "them anyway\n",
      stderr);
  std::fflush(stderr);
  ::ExitProcess(1);
  return false;
}();

}  // namespace
