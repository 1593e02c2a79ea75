// Entry point of Duzavide.exe. The parameters are unused: the command line is
// re-read from the system, and the window shows itself after its first frame.
#include <windows.h>

#include "shell/application.h"

int APIENTRY wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous_instance*/,
                      wchar_t* /*command_line*/, int /*show_command*/) {
  return duzavide::RunDesktopApplication();
}
