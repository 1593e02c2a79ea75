// Windows handle and socket owners built on UniqueAny.
#ifndef BASE_WIN_HANDLES_H_
#define BASE_WIN_HANDLES_H_

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include "base/unique_handle.h"

namespace duzavide {

// Process, thread, event and job handles: null means none.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::CloseHandle(value); }
};
using UniqueHandle = UniqueAny<KernelHandleTraits>;

// File and pipe handles from CreateFile: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) { ::CloseHandle(value); }
};
using UniqueFileHandle = UniqueAny<FileHandleTraits>;

struct SocketTraits {
  using Type = SOCKET;
  static Type Invalid() { return INVALID_SOCKET; }
  static void Close(Type value) { ::closesocket(value); }
};
using UniqueSocket = UniqueAny<SocketTraits>;

}  // namespace duzavide

#endif  // BASE_WIN_HANDLES_H_
