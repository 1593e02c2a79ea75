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
#include <optional>
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

struct InterfaceRow {
  uint32_t index = 0;
  uint64_t luid = 0;
  std::wstring alias;
};

// The tunnel's own subnet, 10.67.0.0/30: an interface holding an address in it
// is the tunnel's, whatever its name.
inline constexpr uint32_t kTunnelSubnet = 0x0A430000;
inline constexpr uint8_t kTunnelSubnetPrefix = 30;

struct NetworkTables {
  std::vector<RouteRow> routes;
  std::vector<AddressRow> addresses;
  std::vector<InterfaceRow> interfaces;
  // The interfaces that have an IPv6 default route.
  std::vector<uint32_t> ipv6_default_route_interfaces;
  // The tunnel's interface as the controller knows it (its LUID), if any.
  std::optional<uint64_t> tunnel_luid;
  // Interfaces whose routes do not count besides those ExcludedInterfaces finds.
  std::set<uint32_t> excluded_interfaces;
};

// The interfaces whose routes do not count, the tunnel's own: those named in
// `excluded_interfaces`, those whose alias IsTunnelInterfaceAlias, the one of
// `tunnel_luid`, and any holding an address in the tunnel's subnet.
std::set<uint32_t> ExcludedInterfaces(const NetworkTables& tables);

// What a re-check compares: the local address that reaches the server, and
// whether the machine has a way out at all.
struct NetworkPath {
  bool has_default_route = false;
  std::string local_address;  // dotted; "" when no counted route reaches the server
  // Without an IPv4 way out: whether an IPv6 one exists (an IPv6-only network).
  bool ipv6_only = false;
  // The address in use (as asked) is still this machine's and a counted route
  // to the server goes out its interface.
  bool in_use_reaches = false;

  bool operator==(const NetworkPath& other) const {
    return has_default_route == other.has_default_route && local_address == other.local_address &&
           ipv6_only == other.ipv6_only && in_use_reaches == other.in_use_reaches;
  }
  bool operator!=(const NetworkPath& other) const { return !(*this == other); }
};

// Whether `alias` names the core's TUN interface: "DuzavideTun", or the name the
// system gives a second one ("DuzavideTun 2"), in any case.
bool IsTunnelInterfaceAlias(const std::wstring& alias);

// The path to `server`: the counted route with the longest matching prefix (then
// the lowest metric, then the one that keeps more of `in_use`, the address the
// tunnel uses now: that address, else its interface) and, on its interface, the
// address whose subnet holds the route's next hop (or the server, for a route on
// the link), else the interface's first address; `in_use` wins among equals.
NetworkPath ChooseNetworkPath(const NetworkTables& tables, uint32_t server,
                              const std::string& in_use = std::string());

// The system's tables now. False when the system would not give any of them
// (then nothing is known, not even which interfaces are the tunnel's).
bool ReadNetworkTables(NetworkTables* tables);

}  // namespace duzavide

#endif  // TUNNEL_NETWORK_NETWORK_PATH_H_
