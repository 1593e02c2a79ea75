#include "tunnel/network/network_path.h"

#include "base/ipv4_text.h"

namespace duzavide {
namespace {

uint32_t Mask(uint8_t prefix_length) {
  return prefix_length == 0 ? 0 : ~uint32_t{0} << (32 - (prefix_length > 32 ? 32 : prefix_length));
}

bool Contains(uint32_t network, uint8_t prefix_length, uint32_t address) {
  const uint32_t mask = Mask(prefix_length);
  return (network & mask) == (address & mask);
}

// The address `route` sends from: on its interface, the one whose subnet holds
// the neighbour (the next hop, or the server for a route on the link), else the
// interface's first. The address in use wins among equals: the order of the
// address table is no reason to move.
std::optional<uint32_t> SourceAddress(const NetworkTables& tables, const RouteRow& route,
                                      uint32_t server, std::optional<uint32_t> in_use) {
  const uint32_t neighbour = route.next_hop != 0 ? route.next_hop : server;
  std::optional<uint32_t> beside;
  std::optional<uint32_t> first;
  bool in_use_beside = false;
  bool in_use_here = false;
  for (const AddressRow& address : tables.addresses) {
    if (address.interface_index != route.interface_index) continue;
    const bool near = Contains(address.address, address.prefix_length, neighbour);
    if (!first) first = address.address;
    if (near && !beside) beside = address.address;
    if (in_use && address.address == *in_use) {
      in_use_here = true;
      in_use_beside = near;
    }
  }
  if (beside) return in_use_beside ? in_use : beside;
  return in_use_here ? in_use : first;
}

}  // namespace

bool IsTunnelInterfaceAlias(const std::wstring& alias) {
  static const wchar_t kAlias[] = L"duzavidetun";
  const size_t length = sizeof(kAlias) / sizeof(kAlias[0]) - 1;
  if (alias.size() < length) return false;
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = alias[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kAlias[i]) return false;
  }
  if (alias.size() == length) return true;
  // "DuzavideTun <n>": a space and digits only.
  if (alias[length] != L' ' || alias.size() == length + 1) return false;
  for (size_t i = length + 1; i < alias.size(); ++i) {
    if (alias[i] < L'0' || alias[i] > L'9') return false;
  }
  return true;
}

std::set<uint32_t> ExcludedInterfaces(const NetworkTables& tables) {
  std::set<uint32_t> excluded = tables.excluded_interfaces;
  for (const InterfaceRow& row : tables.interfaces) {
    if (IsTunnelInterfaceAlias(row.alias) ||
        (tables.tunnel_luid && row.luid == *tables.tunnel_luid)) {
      excluded.insert(row.index);
    }
  }
  for (const AddressRow& address : tables.addresses) {
    if (Contains(kTunnelSubnet, kTunnelSubnetPrefix, address.address)) {
      excluded.insert(address.interface_index);
    }
  }
  return excluded;
}

NetworkPath ChooseNetworkPath(const NetworkTables& tables, uint32_t server,
                              const std::string& in_use) {
  NetworkPath path;
  const std::set<uint32_t> excluded = ExcludedInterfaces(tables);
  const std::optional<uint32_t> in_use_address = ParseDottedIPv4(in_use);
  // The interface holding the address in use, if it still has it.
  std::optional<uint32_t> in_use_interface;
  for (const AddressRow& address : tables.addresses) {
    if (in_use_address && address.address == *in_use_address) {
      in_use_interface = address.interface_index;
    }
  }
  // How much a route keeps of the path in use: its very address (2), its
  // interface (1), or nothing (0). A tie goes to the route that keeps more, so a
  // metric that wavers or a table that changes its order moves nothing.
  const auto kept = [&](const RouteRow& route) {
    if (!in_use_interface || route.interface_index != *in_use_interface) return 0;
    const std::optional<uint32_t> source = SourceAddress(tables, route, server, in_use_address);
    return source == in_use_address ? 2 : 1;
  };
  const RouteRow* best = nullptr;
  for (const RouteRow& route : tables.routes) {
    if (excluded.count(route.interface_index) != 0) continue;
    if (route.prefix_length == 0) path.has_default_route = true;
    if (!Contains(route.destination, route.prefix_length, server)) continue;
    if (kept(route) > 0) path.in_use_reaches = true;
    if (best == nullptr || route.prefix_length > best->prefix_length ||
        (route.prefix_length == best->prefix_length &&
         (route.metric < best->metric ||
          (route.metric == best->metric && kept(route) > kept(*best))))) {
      best = &route;
    }
  }
  if (!path.has_default_route) {
    for (uint32_t index : tables.ipv6_default_route_interfaces) {
      if (excluded.count(index) == 0) path.ipv6_only = true;
    }
  }
  if (best == nullptr) return path;
  const std::optional<uint32_t> source = SourceAddress(tables, *best, server, in_use_address);
  if (source) path.local_address = DottedIPv4(*source);
  return path;
}

}  // namespace duzavide
