#include "shell/debug_console.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "channel/engine_api/flutter_windows.h"

namespace duzavide {

namespace {

// Reopens `stream` on the console; when that fails, at least makes descriptor
// `descriptor` refer to what the stream already writes to.
void RedirectToConsole(FILE* stream, int descriptor) {
  FILE* reopened = nullptr;
  if (::freopen_s(&reopened, "CONOUT$", "w", stream) != 0) {
    ::_dup2(::_fileno(stream), descriptor);
  }
}

}  // namespace

void AttachDiagnosticsConsole() {
  if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::IsDebuggerPresent()) OpenDebugConsole();
}

void OpenDebugConsole() {
  if (!::AllocConsole()) return;
  RedirectToConsole(stdout, 1);
  RedirectToConsole(stderr, 2);
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

}  // namespace duzavide
