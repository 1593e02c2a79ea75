// Stand-in TUN driver library: a real DLL with one export, so that the stand-in
// core's load of "wintun.dll" from its own folder succeeds exactly where the real
// library would have to be, and fails everywhere else.
#include <windows.h>

// The version of the driver the library would talk to; never zero, which callers
// take as "no driver".
extern "C" __declspec(dllexport) DWORD WINAPI WintunGetRunningDriverVersion() {
  return 0x000E0000;  // 14.0
}
