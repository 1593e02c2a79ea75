// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include "base/win_handles.h"

namespace duzavide {

void FreeIpHelperTable(void* table) { ::FreeMibTable(table); }

}  // namespace duzavide
