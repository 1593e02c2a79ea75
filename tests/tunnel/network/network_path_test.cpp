// The route choice around the tunnel's own interface.
#include "tunnel/network/network_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace duzavide {
namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

TEST(NetworkPathTest, ChoosesTheBestRouteLeavingTheTunnelOut) {
  const uint32_t server = Ip(203, 0, 113, 5);
  const RouteRow wifi_default{2, 0, 0, Ip(192, 168, 1, 1), 35};
  const RouteRow wifi_subnet{2, Ip(192, 168, 1, 0), 24, 0, 35};
  const RouteRow ethernet_default{3, 0, 0, Ip(10, 0, 0, 1), 25};
  const RouteRow ethernet_tie{3, 0, 0, Ip(10, 0, 0, 1), 35};
  // The core's TUN interface takes the default route, whole or in two halves.
  const RouteRow tun_default{7, 0, 0, 0, 5};
  const RouteRow tun_low_half{7, 0, 1, 0, 5};
  const RouteRow tun_high_half{7, Ip(128, 0, 0, 0), 1, 0, 5};
  const AddressRow wifi{2, Ip(192, 168, 1, 10), 24};
  const AddressRow other_wifi{2, Ip(172, 16, 0, 4), 16};
  const AddressRow ethernet{3, Ip(10, 0, 0, 20), 24};
  const AddressRow tun{7, Ip(10, 66, 0, 2), 32};
  const std::vector<RouteRow> with_tunnel = {wifi_default, wifi_subnet, tun_default, tun_low_half,
                                             tun_high_half};
  struct Case {
    const char* name;
    std::vector<RouteRow> routes;
    std::vector<AddressRow> addresses;
    std::set<uint32_t> excluded;
    uint32_t server;
    NetworkPath expected;
    std::vector<InterfaceRow> interfaces = {};
    std::optional<uint64_t> tunnel_luid = std::nullopt;
    std::vector<uint32_t> ipv6_defaults = {};
    std::string in_use = "";
  } cases[] = {
      {"the tunnel's routes left out",
       with_tunnel,
       {wifi, tun},
       {7},
       server,
       {true, "192.168.1.10"}},
      {"counted, the tunnel would win", with_tunnel, {wifi, tun}, {}, server, {true, "10.66.0.2"}},
      {"only the tunnel has a default route",
       {wifi_subnet, tun_default},
       {wifi, tun},
       {7},
       server,
       {false, ""}},
      {"the lower metric among equal prefixes",
       {wifi_default, ethernet_default},
       {wifi, ethernet},
       {},
       server,
       {true, "10.0.0.20"}},
      {"the longer prefix before the metric",
       {ethernet_default, wifi_subnet},
       {wifi, ethernet},
       {},
       Ip(192, 168, 1, 77),
       {true, "192.168.1.10"}},
      {"the address beside the next hop",
       {wifi_default},
       {other_wifi, wifi},
       {},
       server,
       {true, "192.168.1.10"}},
      {"a second tunnel adapter, known by its name",
       with_tunnel,
       {wifi, tun},
       {},
       server,
       {true, "192.168.1.10"},
       {{7, 0x70, L"DuzavideTun 2"}}},
      {"known by its LUID",
       with_tunnel,
       {wifi, tun},
       {},
       server,
       {true, "192.168.1.10"},
       {{7, 0x70, L"Local Area Connection 9"}},
       0x70},
      {"known by its subnet",
       with_tunnel,
       {wifi, AddressRow{7, Ip(10, 67, 0, 1), 30}},
       {},
       server,
       {true, "192.168.1.10"}},
      {"IPv6 alone", {wifi_subnet}, {wifi}, {}, server, {false, "", true}, {}, std::nullopt, {2}},
      {"IPv6 only through the tunnel",
       {wifi_subnet},
       {wifi},
       {7},
       server,
       {false, "", false},
       {},
       std::nullopt,
       {7}},
      {"a metric tie keeps the path in use",
       {wifi_default, ethernet_tie},
       {wifi, ethernet},
       {},
       server,
       {true, "10.0.0.20", false, true},
       {},
       std::nullopt,
       {},
       "10.0.0.20"},
      {"the same tie from the other side",
       {wifi_default, ethernet_tie},
       {wifi, ethernet},
       {},
       server,
       {true, "192.168.1.10", false, true},
       {},
       std::nullopt,
       {},
       "192.168.1.10"},
      {"the address in use is gone",
       {wifi_default, ethernet_tie},
       {wifi, ethernet},
       {},
       server,
       {true, "192.168.1.10", false, false},
       {},
       std::nullopt,
       {},
       "10.9.9.9"},
      {"two addresses beside the next hop: the one in use stays",
       {wifi_default},
       {wifi, AddressRow{2, Ip(192, 168, 1, 11), 24}},
       {},
       server,
       {true, "192.168.1.11", false, true},
       {},
       std::nullopt,
       {},
       "192.168.1.11"},
      {"equal routes out of one interface: the one from the address in use",
       {wifi_default, RouteRow{2, 0, 0, Ip(172, 16, 0, 1), 35}},
       {wifi, other_wifi},
       {},
       server,
       {true, "172.16.0.4", false, true},
       {},
       std::nullopt,
       {},
       "172.16.0.4"},
      {"a route whose interface has no address",
       {wifi_default},
       {ethernet},
       {},
       server,
       {true, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetworkTables tables;
    tables.routes = c.routes;
    tables.addresses = c.addresses;
    tables.interfaces = c.interfaces;
    tables.tunnel_luid = c.tunnel_luid;
    tables.ipv6_default_route_interfaces = c.ipv6_defaults;
    tables.excluded_interfaces = c.excluded;
    const NetworkPath path = ChooseNetworkPath(tables, c.server, c.in_use);
    EXPECT_EQ(path.has_default_route, c.expected.has_default_route);
    EXPECT_EQ(path.local_address, c.expected.local_address);
    EXPECT_EQ(path.ipv6_only, c.expected.ipv6_only);
    EXPECT_EQ(path.in_use_reaches, c.expected.in_use_reaches);
  }
}

}  // namespace
}  // namespace duzavide
