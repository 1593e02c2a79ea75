#include "tunnel/traffic_counters.h"

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include "base/win_handles.h"

namespace duzavide {

bool ReadInterfaceOctets(std::vector<InterfaceOctets>* rows) {
  rows->clear();
  UniqueMibTable<MIB_IF_TABLE2> table;
  if (::GetIfTable2(table.Receive()) != NO_ERROR || !table) return false;
  for (ULONG i = 0; i < table.Get()->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table.Get()->Table[i];
    InterfaceOctets octets;
    octets.luid = row.InterfaceLuid.Value;
    octets.type = row.Type;
    octets.alias = row.Alias;
    octets.up = row.OperStatus == IfOperStatusUp;
    octets.received = row.InOctets;
    octets.sent = row.OutOctets;
    rows->push_back(std::move(octets));
  }
  return true;
}

}  // namespace duzavide
