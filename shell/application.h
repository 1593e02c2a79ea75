// The desktop application's run from start to exit code.
#ifndef SHELL_APPLICATION_H_
#define SHELL_APPLICATION_H_

#include <string>
#include <vector>

#include "shell/engine_project.h"
#include "shell/window_placement.h"

namespace duzavide {

// The Flutter application beside the executable: the "data" folder's assets, ICU
// data and compiled library (relative paths, resolved by the engine), the default
// entrypoint, `arguments` for it, and zero engine options.
EngineProject MakeEngineProject(std::vector<std::string> arguments);

// The logical origin that centres a window of `width` x `height` logical units in
// the work area of the primary monitor.
LogicalPoint CenteredOriginOnPrimaryMonitor(int32_t width, int32_t height);

// Checks the executable's folder (executable_folder_check.h): when it fails,
// says why and returns 1 with nothing loaded or started from it, no log, window,
// engine or core. Then prepares the process (console, host log, COM), opens the
// main window and runs the message loop. Returns the exit code: 0 after the quit
// message, 1 when the window could not be created (then no message loop runs).
// When another instance runs in this Windows session, asks it to show its window
// and returns 0 without creating an engine, a window or a session; when that
// instance is still ending, waits for it and runs in its place; when the
// session's instance lock stays held for 30 s without a window (a hung instance,
// or another program using its name), says so and returns 1. The start, a failed
// creation and the exit code go to the host log. Main thread only.
int RunDesktopApplication();

}  // namespace duzavide

#endif  // SHELL_APPLICATION_H_
