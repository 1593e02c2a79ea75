// Which filters keep every packet inside the tunnel while it is wanted: a plain
// table, decided from what a connect knows, for the filtering platform
// (filtering_platform.h) to put in place.
//
// The tunnel takes the whole IPv4 default route, so whatever does not go through
// it is a leak: IPv6 around it, name lookups sent to the network's own resolver,
// and everything while a reconnect waits. So everything is blocked, IPv4 and
// IPv6, outbound and inbound, except what the tunnel itself needs. Weights (0 to
// 15, the higher decides) make the order plain:
//   15 loopback; the core's own traffic (it reaches its server and answers the
//      routes sent "direct"); our own executable's datagram socket (the bridge
//      receives from the core on the active interface's address)
//   14 name lookups to the tunnel's DNS address
//   13 DHCP (v4 and v6), IPv6 router and neighbour discovery on link-local and
//      link-scope multicast addresses
//   12 block: port 53, UDP and TCP, to anything else (a router's resolver is
//      still the network's resolver)
//   10 the tunnel's own interface, once it exists (by LUID)
//    8 the local network, unless switched off: the private ranges the routing
//      rules send "direct", link-local and multicast
//    0 block: everything else
// Pure; any thread.
#ifndef TUNNEL_LEAK_PROTECTION_LEAK_PROTECTION_PLAN_H_
#define TUNNEL_LEAK_PROTECTION_LEAK_PROTECTION_PLAN_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duzavide {

// The tunnel's DNS address, 10.67.0.2, as the configuration gives it.
inline constexpr uint32_t kTunnelDnsAddress = 0x0A430002;

// Where a filter sits: the connections a program makes (outbound) or accepts
// (inbound), per IP version.
enum class FilterLayer { kOutboundV4, kOutboundV6, kInboundV4, kInboundV6 };
enum class FilterAction { kPermit, kBlock };

struct Ipv4Range {
  uint32_t address = 0;  // host byte order
  uint8_t prefix_length = 0;
  bool operator==(const Ipv4Range& other) const {
    return address == other.address && prefix_length == other.prefix_length;
  }
};

struct Ipv6Range {
  std::array<uint8_t, 16> address{};
  uint8_t prefix_length = 0;
  bool operator==(const Ipv6Range& other) const {
    return address == other.address && prefix_length == other.prefix_length;
  }
};

struct PortRange {
  uint16_t low = 0;
  uint16_t high = 0;
  bool operator==(const PortRange& other) const { return low == other.low && high == other.high; }
};

inline constexpr uint8_t kProtocolTcp = 6;
inline constexpr uint8_t kProtocolUdp = 17;
inline constexpr uint8_t kProtocolIcmpV6 = 58;

// One filter; every condition given must hold for it to apply.
struct LeakFilter {
  std::string name;  // what it is for, e.g. "permit loopback"
  FilterLayer layer = FilterLayer::kOutboundV4;
  FilterAction action = FilterAction::kBlock;
  uint8_t weight = 0;
  bool loopback = false;                   // loopback traffic only
  std::optional<uint64_t> interface_luid;  // on this interface
  std::wstring application;                // of the program at this path
  std::optional<uint8_t> protocol;
  std::optional<PortRange> local_port;  // for ICMP: the message type
  std::optional<PortRange> remote_port;
  std::optional<Ipv4Range> remote_v4;
  std::optional<Ipv6Range> remote_v6;
};

struct LeakProtectionInputs {
  std::wstring core_path;  // the verified core that runs
  std::wstring host_path;  // this executable
  // The tunnel's interface, once the core has made it; before that, nothing
  // gets through it.
  std::optional<uint64_t> tunnel_luid;
  uint32_t tunnel_dns = kTunnelDnsAddress;
  bool allow_local_network = true;

  bool operator==(const LeakProtectionInputs& other) const {
    return core_path == other.core_path && host_path == other.host_path &&
           tunnel_luid == other.tunnel_luid && tunnel_dns == other.tunnel_dns &&
           allow_local_network == other.allow_local_network;
  }
  bool operator!=(const LeakProtectionInputs& other) const { return !(*this == other); }
};

std::vector<LeakFilter> PlanLeakProtection(const LeakProtectionInputs& inputs);

}  // namespace duzavide

#endif  // TUNNEL_LEAK_PROTECTION_LEAK_PROTECTION_PLAN_H_
