#include <string>

#include "base/delay_load_hook.h"

namespace duzavide {
namespace {

// Written once on the main thread before the library is first called; read by
// the hook on whichever thread calls first.
std::wstring& PrivateLibraryPath() {
  static std::wstring path;
  return path;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

}  // namespace

void AllowPrivateLibrary(const std::wstring& full_path) { PrivateLibraryPath() = full_path; }

FARPROC WINAPI DelayLoadHook(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;
  // Import names are ASCII.
  const std::wstring name(info->szDll, info->szDll + ::lstrlenA(info->szDll));
  const std::wstring& private_path = PrivateLibraryPath();
  HMODULE module = nullptr;
  if (!private_path.empty() &&
      ::CompareStringOrdinal(name.c_str(), -1, FileNameOf(private_path).c_str(), -1, TRUE) ==
          CSTR_EQUAL) {
    module = ::LoadLibraryExW(private_path.c_str(), nullptr,
                              LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    module = ::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  if (module == nullptr) {
    // A null answer would send the loader on to its own search, which starts in
    // the executable's folder.
    info->dwLastError = ::GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
  }
  return reinterpret_cast<FARPROC>(module);
}

}  // namespace duzavide
