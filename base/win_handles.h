// Owners for what the system hands out and the caller must free: handles,
// sockets, registry keys, loaded libraries, boundary descriptors, private
// namespaces, IP helper tables and LocalAlloc memory (security descriptors, SID
// texts), built on UniqueAny.
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

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::RegCloseKey(value); }
};
using UniqueRegistryKey = UniqueAny<RegistryKeyTraits>;

// A library this process loaded with LoadLibraryExW, freed with FreeLibrary.
struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::FreeLibrary(value); }
};
using UniqueModule = UniqueAny<ModuleTraits>;

// A boundary descriptor from CreateBoundaryDescriptorW: null means none.
struct BoundaryDescriptorTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::DeleteBoundaryDescriptor(value); }
};
using UniqueBoundaryDescriptor = UniqueAny<BoundaryDescriptorTraits>;

// A private namespace from CreatePrivateNamespaceW or OpenPrivateNamespaceW:
// null means none. Closing leaves the namespace to whoever else holds it.
struct PrivateNamespaceTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::ClosePrivateNamespace(value, 0); }
};
using UniquePrivateNamespace = UniqueAny<PrivateNamespaceTraits>;

// Memory the system allocated with LocalAlloc for the caller (security
// descriptors, SID texts, argument vectors), freed with LocalFree.
template <typename T>
struct LocalMemoryTraits {
  using Type = T;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::LocalFree(reinterpret_cast<HLOCAL>(value)); }
};
template <typename T>
using UniqueLocalMemory = UniqueAny<LocalMemoryTraits<T>>;
using UniqueSecurityDescriptor = UniqueLocalMemory<PSECURITY_DESCRIPTOR>;

// A table the IP helper allocated (MIB_IF_TABLE2, MIB_IPFORWARD_TABLE2, ...),
// freed with FreeMibTable. Declared here, defined where <netioapi.h> is included.
void FreeIpHelperTable(void* table);
template <typename Table>
struct MibTableTraits {
  using Type = Table*;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { FreeIpHelperTable(value); }
};
template <typename Table>
using UniqueMibTable = UniqueAny<MibTableTraits<Table>>;

}  // namespace duzavide

#endif  // BASE_WIN_HANDLES_H_
