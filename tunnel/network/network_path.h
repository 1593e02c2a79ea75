// Which local IPv4 address reaches the proxy server, decided from the system's
// route and address tables, leaving out the tunnel's own interface.
//
// While the core runs, its TUN interface takes the IPv4 default route. A route
// lookup that counted it would find the tunnel's own address and see a network
// change that is not there, so every route through an excluded interface is left
// out. Pure functions over plain rows; the rows are read by ReadNetworkTables.
#ifndef TUNNEL_NETWORK_NETWORK_PATH_H_
#define TUNNEL_NETWORK_NETWORK_PATH_H_

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace duzavide {

// IPv4 addresses are in host byte order (10.0.0.1 is 0x0A000001).
struct RouteRow {
  uint32_t interface_index = 0;
  uint32_t destination = 0;
  uint8_t prefix_length = 0;
  uint32_t next_hop = 0;  // 0: on the link
  uint32_t metric = 0;    // route and interface metric together; lower wins
};

struct AddressRow {
  uint32_t interface_index = 0;
  uint32_t address = 0;
  uint8_t prefix_length = 0;
};

struct NetworkTables {
  std::vector<RouteRow> routes;
  std::vector<AddressRow> addresses;
  // Interfaces whose routes do not count: the tunnel's own.
  std::set<uint32_t> excluded_interfaces;
};

// What a re-check compares: the local address that reaches the server, and
// whether the machine has a way out at all.
struct NetworkPath {
  bool has_default_route = false;
  std::string local_address;  // dotted; "" when no counted route reaches the server

  bool operator==(const NetworkPath& other) const {
    return has_default_route == other.has_default_route && local_address == other.local_address;
  }
  bool operator!=(const NetworkPath& other) const { return !(*this == other); }
};

// The path to `server`: the counted route with the longest matching prefix (then
// the lowest metric) and, on its interface, the address whose subnet holds the
// route's next hop (or the server, for a route on the link), else the
// interface's first address.
NetworkPath ChooseNetworkPath(const NetworkTables& tables, uint32_t server);

// The system's tables now, with the interface named `excluded_alias` ("DuzavideTun")
// left out. False when the system would not give them.
bool ReadNetworkTables(const wchar_t* excluded_alias, NetworkTables* tables);

}  // namespace duzavide

#endif  // TUNNEL_NETWORK_NETWORK_PATH_H_
