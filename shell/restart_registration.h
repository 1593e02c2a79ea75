// Being started again after an installer has updated the running application.
#ifndef SHELL_RESTART_REGISTRATION_H_
#define SHELL_RESTART_REGISTRATION_H_

#include <windows.h>

namespace duzavide {

// Asks the system to start the application again once an installer that closed it
// through the Restart Manager is done: with no command line (the application keeps
// no state worth passing on), and never after a crash or a hang, so that a host
// that fails at start is not started over and over, nor after a reboot. Main thread.
void RegisterRestartAfterUpdate();

using RegisterRestartFunction = HRESULT(WINAPI*)(PCWSTR command_line, DWORD flags);

// Replaces RegisterApplicationRestart behind RegisterRestartAfterUpdate; null
// restores it. For tests.
void SetRegisterRestartFunctionForTesting(RegisterRestartFunction function);

}  // namespace duzavide

#endif  // SHELL_RESTART_REGISTRATION_H_
