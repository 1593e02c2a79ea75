#include "tunnel/traffic_counters.h"

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include "base/win_handles.h"

namespace duzavide {

bool SumInterfaceOctets(uint64_t* received, uint64_t* sent) {
  *received = 0;
  *sent = 0;
  UniqueMibTable<MIB_IF_TABLE2> table;
  if (::GetIfTable2(table.Receive()) != NO_ERROR || !table) return false;
  uint64_t in_sum = 0;
  uint64_t out_sum = 0;
  for (ULONG i = 0; i < table.Get()->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table.Get()->Table[i];
    if (row.Type == IF_TYPE_SOFTWARE_LOOPBACK || row.Type == IF_TYPE_TUNNEL) continue;
    if (row.OperStatus != IfOperStatusUp) continue;
    in_sum += row.InOctets;
    out_sum += row.OutOctets;
  }
  *received = in_sum;
  *sent = out_sum;
  return true;
}

TrafficCounters TrafficSinceBaseline(uint64_t received, uint64_t sent, uint64_t baseline_received,
                                     uint64_t baseline_sent) {
  TrafficCounters counters;
  counters.downlink_bytes = received > baseline_received ? received - baseline_received : 0;
  counters.uplink_bytes = sent > baseline_sent ? sent - baseline_sent : 0;
  return counters;
}

}  // namespace duzavide
