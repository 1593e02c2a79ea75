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
  // The interface holding the address in use, if it still has it.
  const std::optional<uint32_t> in_use_address = ParseDottedIPv4(in_use);
  std::optional<uint32_t> in_use_interface;
  for (const AddressRow& address : tables.addresses) {
    if (in_use_address && address.address == *in_use_address) {
      in_use_interface = address.interface_index;
    }
  }
  const RouteRow* best = nullptr;
  for (const RouteRow& route : tables.routes) {
    if (excluded.count(route.interface_index) != 0) continue;
    if (route.prefix_length == 0) path.has_default_route = true;
    if (!Contains(route.destination, route.prefix_length, server)) continue;
    const bool ours = in_use_interface && route.interface_index == *in_use_interface;
    if (ours) path.in_use_reaches = true;
    // A tie keeps the path in use: a metric that wavers must not move the tunnel.
    if (best == nullptr || route.prefix_length > best->prefix_length ||
        (route.prefix_length == best->prefix_length &&
         (route.metric < best->metric ||
          (route.metric == best->metric && ours && best->interface_index != *in_use_interface)))) {
      best = &route;
    }
  }
  if (!path.has_default_route) {
    for (uint32_t index : tables.ipv6_default_route_interfaces) {
      if (excluded.count(index) == 0) path.ipv6_only = true;
    }
  }
  if (best == nullptr) return path;
  const uint32_t neighbour = best->next_hop != 0 ? best->next_hop : server;
  const AddressRow* chosen = nullptr;
  for (const AddressRow& address : tables.addresses) {
    if (address.interface_index != best->interface_index) continue;
    if (Contains(address.address, address.prefix_length, neighbour)) {
      chosen = &address;
      break;
    }
    if (chosen == nullptr) chosen = &address;
  }
  if (chosen != nullptr) path.local_address = DottedIPv4(chosen->address);
  return path;
}

}  // namespace duzavide
