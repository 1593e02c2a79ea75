// Where the libraries a program imports lazily are loaded from.
//
// The product links the libraries the system does not always take from its own
// folder, and the engine, through delay-load import libraries
// (cmake/Duzavide.cmake): each is loaded at the first call into it. A program
// that installs DelayLoadHook as its notify hook, in its entry file:
//
//   PfnDliHook __pfnDliNotifyHook2 = duzavide::DelayLoadHook;
//
// loads a system library from the system folder only, and the one library of its
// own from the full path it was allowed with (AllowPrivateLibrary), never from
// the executable's folder by name or from anywhere else. A library that cannot be
// loaded so ends the process with the delay loader's own exception (no fallback
// search). Without the hook (tests) the loader's default search applies.
#ifndef BASE_DELAY_LOAD_HOOK_H_
#define BASE_DELAY_LOAD_HOOK_H_

#include <windows.h>
// The delay loader's declarations need the system's types first.
#include <delayimp.h>

#include <string>

namespace duzavide {

// From here on the delay-loaded library whose file name is that of `full_path`
// comes from `full_path`, with its own dependencies from its folder and the
// system folder. Main thread, once, before any thread calls into the library.
void AllowPrivateLibrary(const std::wstring& full_path);

// The notify hook: handles the loader's "about to load a library" notice.
FARPROC WINAPI DelayLoadHook(unsigned notification, PDelayLoadInfo info);

}  // namespace duzavide

#endif  // BASE_DELAY_LOAD_HOOK_H_
