// Where the process's diagnostics go. A GUI-subsystem process starts without a
// console; these give it one when someone can read it.
#ifndef SHELL_DEBUG_CONSOLE_H_
#define SHELL_DEBUG_CONSOLE_H_

namespace duzavide {

// Attaches to the parent process's console. When there is none and a debugger is
// present, opens a console of the process's own (OpenDebugConsole). Otherwise the
// process stays without a console. Failures are silent.
void AttachDiagnosticsConsole();

// Creates a console and points standard output and standard error at it, then lets
// the engine library re-synchronise its own output with the new streams.
void OpenDebugConsole();

}  // namespace duzavide

#endif  // SHELL_DEBUG_CONSOLE_H_
