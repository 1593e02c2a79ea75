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

NetworkPath ChooseNetworkPath(const NetworkTables& tables, uint32_t server) {
  NetworkPath path;
  const RouteRow* best = nullptr;
  for (const RouteRow& route : tables.routes) {
    if (tables.excluded_interfaces.count(route.interface_index) != 0) continue;
    if (route.prefix_length == 0) path.has_default_route = true;
    if (!Contains(route.destination, route.prefix_length, server)) continue;
    if (best == nullptr || route.prefix_length > best->prefix_length ||
        (route.prefix_length == best->prefix_length && route.metric < best->metric)) {
      best = &route;
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
