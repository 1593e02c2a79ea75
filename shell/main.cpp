// Entry point of Duzavide.exe. The parameters are unused: the command line is
// re-read from the system, and the window shows itself after its first frame.
#include <windows.h>

#include "base/delay_load_hook.h"
#include "shell/application.h"

// The system's libraries that this program imports lazily come from the system
// folder only, the engine only from the checked folder by its full path.
PfnDliHook __pfnDliNotifyHook2 = duzavide::DelayLoadHook;

int APIENTRY wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous_instance*/,
                      wchar_t* /*command_line*/, int /*show_command*/) {
  // The process runs elevated: before anything loads a library, the search is
  // limited to the system folder and the executable's own folder. The current
  // folder and the PATH entries (some writable by the user) are never searched.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
  ::SetDllDirectoryW(L"");
  return duzavide::RunDesktopApplication();
}
