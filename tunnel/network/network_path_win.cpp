// ReadNetworkTables: the system's IPv4 route, address and interface tables.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <map>

#include "base/win_handles.h"
#include "tunnel/network/network_path.h"

namespace duzavide {
namespace {

uint32_t HostOrder(const SOCKADDR_INET& address) { return ntohl(address.Ipv4.sin_addr.s_addr); }

}  // namespace

bool ReadNetworkTables(NetworkTables* tables) {
  *tables = NetworkTables();
  // Without it the tunnel's own interface could not be told apart: no reading.
  UniqueMibTable<MIB_IF_TABLE2> interfaces;
  if (::GetIfTable2(interfaces.Receive()) != NO_ERROR) return false;
  for (ULONG i = 0; i < interfaces.Get()->NumEntries; ++i) {
    const MIB_IF_ROW2& row = interfaces.Get()->Table[i];
    tables->interfaces.push_back(
        InterfaceRow{row.InterfaceIndex, row.InterfaceLuid.Value, row.Alias});
  }
  // The interface's metric counts with the route's, as in the system's own choice.
  std::map<uint32_t, uint32_t> interface_metrics;
  UniqueMibTable<MIB_IPINTERFACE_TABLE> ip_interfaces;
  if (::GetIpInterfaceTable(AF_INET, ip_interfaces.Receive()) == NO_ERROR) {
    for (ULONG i = 0; i < ip_interfaces.Get()->NumEntries; ++i) {
      const MIB_IPINTERFACE_ROW& row = ip_interfaces.Get()->Table[i];
      interface_metrics[row.InterfaceIndex] = row.Metric;
    }
  }
  UniqueMibTable<MIB_IPFORWARD_TABLE2> routes;
  if (::GetIpForwardTable2(AF_INET, routes.Receive()) != NO_ERROR) return false;
  for (ULONG i = 0; i < routes.Get()->NumEntries; ++i) {
    const MIB_IPFORWARD_ROW2& row = routes.Get()->Table[i];
    RouteRow route;
    route.interface_index = row.InterfaceIndex;
    route.destination = HostOrder(row.DestinationPrefix.Prefix);
    route.prefix_length = row.DestinationPrefix.PrefixLength;
    route.next_hop = HostOrder(row.NextHop);
    route.metric = row.Metric + interface_metrics[row.InterfaceIndex];
    tables->routes.push_back(route);
  }
  UniqueMibTable<MIB_IPFORWARD_TABLE2> routes6;
  if (::GetIpForwardTable2(AF_INET6, routes6.Receive()) == NO_ERROR) {
    for (ULONG i = 0; i < routes6.Get()->NumEntries; ++i) {
      const MIB_IPFORWARD_ROW2& row = routes6.Get()->Table[i];
      if (row.DestinationPrefix.PrefixLength == 0) {
        tables->ipv6_default_route_interfaces.push_back(row.InterfaceIndex);
      }
    }
  }
  UniqueMibTable<MIB_UNICASTIPADDRESS_TABLE> addresses;
  if (::GetUnicastIpAddressTable(AF_INET, addresses.Receive()) != NO_ERROR) return false;
  for (ULONG i = 0; i < addresses.Get()->NumEntries; ++i) {
    const MIB_UNICASTIPADDRESS_ROW& row = addresses.Get()->Table[i];
    const uint32_t address = HostOrder(row.Address);
    // The tunnel's interface, even while its address is still being checked.
    if ((address >> (32 - kTunnelSubnetPrefix)) == (kTunnelSubnet >> (32 - kTunnelSubnetPrefix))) {
      tables->excluded_interfaces.insert(row.InterfaceIndex);
    }
    // An address still being checked for duplicates, or found to be one, sends
    // nothing yet.
    if (row.DadState != IpDadStatePreferred && row.DadState != IpDadStateDeprecated) continue;
    tables->addresses.push_back(AddressRow{row.InterfaceIndex, address, row.OnLinkPrefixLength});
  }
  return true;
}

}  // namespace duzavide
