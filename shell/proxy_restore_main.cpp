// Entry point of DuzavideProxyRestore.exe.
//
// With no verb, the next sign-in runs it while the host has the user's proxy
// setting saved (a per-user RunOnce value): the host was killed or the machine
// lost power while a tunnel ran. With the journal's lock held it gives the saved
// setting back exactly (it judges no local proxy dead: the user's proxy program
// may not have started yet), deletes it and ends: no window, no engine, no core,
// and no administrator rights (Windows starts no program that asks for them from
// RunOnce). Exit code 0 when nothing is left to restore, 1 when the setting stays
// saved for a later try (the restore program is then registered again).
//
// With a verb ("--switch-to-direct", "--restore", "--restore-left-over"), a host
// that runs as another account than the person signed in has started it as that
// person, to do that one step of its proxy work on their setting
// (restore_program_work.h). Exit code 0 when the step succeeded, else 1; a switch
// that failed says why in its last line. 2 for a verb it does not know.
//
// Its lines go to standard error.
#include <windows.h>

#include <optional>

#include "base/delay_load_hook.h"
#include "base/line_sink.h"
#include "tunnel/proxy_setting/proxy_work.h"
#include "tunnel/proxy_setting/system_proxy_keeper.h"

// The libraries this program imports lazily (the internet settings, the IP
// helper) come from the system folder only, never from the program's folder.
PfnDliHook __pfnDliNotifyHook2 = duzavide::DelayLoadHook;

int APIENTRY wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous_instance*/,
                      wchar_t* command_line, int /*show_command*/) {
  const std::optional<duzavide::ProxyStep> step =
      duzavide::ProxyStepOfVerb(command_line != nullptr ? command_line : L"");
  if (!step) {
    duzavide::EmitLine("[proxy] the restore program was given a verb it does not know");
    return 2;
  }
  if (*step == duzavide::ProxyStep::kRepairLeftOver) {
    return duzavide::RepairLeftOverSystemProxy(duzavide::EmitLine) ? 0 : 1;
  }
  return duzavide::RunProxyStepForHost(*step, duzavide::EmitLine) ? 0 : 1;
}
