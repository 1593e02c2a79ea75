// Console endings. A host started from a console is attached to it
// (debug_console.h), and a console control event (Ctrl+C, Ctrl+Break, the
// console closing) would end the process at once, leaving the proxy setting
// switched and the core running. These let such an event end the application
// the way closing its window does: the one teardown.
#ifndef SHELL_CONSOLE_ENDING_H_
#define SHELL_CONSOLE_ENDING_H_

#include <windows.h>

namespace duzavide {

// From now on a console control event closes `window` (WM_CLOSE) instead of
// ending the process. For Ctrl+C and Ctrl+Break the process then ends on its own
// path; for the console closing, which the system lets a process outlive by only
// about 5 s, the event waits up to 4.5 s for EndOfTeardown. Main thread, once the
// window exists.
void CloseWindowOnConsoleEvents(HWND window);

// Says that the teardown is complete (the window, its tunnel and its log lines
// are done with); a later console event then only lets the process end. Main thread.
void EndOfTeardown();

}  // namespace duzavide

#endif  // SHELL_CONSOLE_ENDING_H_
