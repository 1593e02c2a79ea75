// Entry point of DuzavideProxyRestore.exe, which the next sign-in runs while the
// host has the user's proxy setting saved (a per-user RunOnce value): the host was
// killed or the machine lost power while a tunnel ran. With the journal's lock
// held it gives the saved setting back exactly (it judges no local proxy dead:
// the user's proxy program may not have started yet), deletes it and ends: no
// window, no engine, no core, and no administrator rights (Windows starts no
// program that asks for them from RunOnce). Exit code 0 when nothing is left to
// restore, 1 when the setting stays saved for a later try (the restore program
// is then registered again). Its lines go to standard error.
#include <windows.h>

#include "base/delay_load_hook.h"
#include "base/line_sink.h"
#include "tunnel/proxy_setting/system_proxy_keeper.h"

// The libraries this program imports lazily (the internet settings, the IP
// helper) come from the system folder only, never from the program's folder.
PfnDliHook __pfnDliNotifyHook2 = duzavide::DelayLoadHook;

int APIENTRY wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous_instance*/,
                      wchar_t* /*command_line*/, int /*show_command*/) {
  return duzavide::RepairLeftOverSystemProxy(duzavide::EmitLine) ? 0 : 1;
}
