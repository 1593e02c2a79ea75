#include "tunnel/leak_protection/leak_protection_plan.h"

#include <initializer_list>
#include <utility>

namespace duzavide {
namespace {

constexpr uint8_t kWeightTop = 15;
constexpr uint8_t kWeightTunnelDns = 14;
constexpr uint8_t kWeightLinkSetup = 13;
constexpr uint8_t kWeightDnsBlock = 12;
constexpr uint8_t kWeightTunnel = 10;
constexpr uint8_t kWeightLocalNetwork = 8;
constexpr uint8_t kWeightBlockAll = 0;

constexpr FilterLayer kAllLayers[] = {FilterLayer::kOutboundV4, FilterLayer::kOutboundV6,
                                      FilterLayer::kInboundV4, FilterLayer::kInboundV6};

Ipv6Range V6(std::initializer_list<uint8_t> leading, uint8_t prefix_length) {
  Ipv6Range range;
  size_t at = 0;
  for (uint8_t byte : leading) range.address[at++] = byte;
  range.prefix_length = prefix_length;
  return range;
}

class Plan {
 public:
  // `base` on each of `layers`.
  void Add(const LeakFilter& base, std::initializer_list<FilterLayer> layers) {
    for (FilterLayer layer : layers) {
      LeakFilter filter = base;
      filter.layer = layer;
      filters_.push_back(std::move(filter));
    }
  }
  void AddEverywhere(const LeakFilter& base) {
    for (FilterLayer layer : kAllLayers) Add(base, {layer});
  }
  std::vector<LeakFilter> Take() { return std::move(filters_); }

 private:
  std::vector<LeakFilter> filters_;
};

LeakFilter Filter(const char* name, FilterAction action, uint8_t weight) {
  LeakFilter filter;
  filter.name = name;
  filter.action = action;
  filter.weight = weight;
  return filter;
}

}  // namespace

std::vector<LeakFilter> PlanLeakProtection(const LeakProtectionInputs& inputs) {
  Plan plan;
  LeakFilter loopback = Filter("permit loopback", FilterAction::kPermit, kWeightTop);
  loopback.loopback = true;
  plan.AddEverywhere(loopback);

  LeakFilter core = Filter("permit the core", FilterAction::kPermit, kWeightTop);
  core.application = inputs.core_path;
  plan.AddEverywhere(core);

  LeakFilter bridge = Filter("permit the bridge's datagrams", FilterAction::kPermit, kWeightTop);
  bridge.application = inputs.host_path;
  bridge.protocol = kProtocolUdp;
  plan.AddEverywhere(bridge);

  LeakFilter tunnel_dns =
      Filter("permit name lookups to the tunnel's DNS", FilterAction::kPermit, kWeightTunnelDns);
  tunnel_dns.remote_v4 = Ipv4Range{inputs.tunnel_dns, 32};
  tunnel_dns.remote_port = PortRange{53, 53};
  for (uint8_t protocol : {kProtocolUdp, kProtocolTcp}) {
    tunnel_dns.protocol = protocol;
    plan.Add(tunnel_dns, {FilterLayer::kOutboundV4});
  }

  LeakFilter dhcp = Filter("permit DHCP", FilterAction::kPermit, kWeightLinkSetup);
  dhcp.protocol = kProtocolUdp;
  dhcp.local_port = PortRange{68, 68};
  dhcp.remote_port = PortRange{67, 67};
  plan.Add(dhcp, {FilterLayer::kOutboundV4, FilterLayer::kInboundV4});
  LeakFilter dhcp6 = Filter("permit DHCPv6", FilterAction::kPermit, kWeightLinkSetup);
  dhcp6.protocol = kProtocolUdp;
  dhcp6.local_port = PortRange{546, 546};
  dhcp6.remote_port = PortRange{547, 547};
  plan.Add(dhcp6, {FilterLayer::kOutboundV6, FilterLayer::kInboundV6});

  // Router solicitation and advertisement, neighbour solicitation and
  // advertisement, redirect: link-local and link-scope multicast only.
  LeakFilter discovery =
      Filter("permit IPv6 router and neighbour discovery", FilterAction::kPermit, kWeightLinkSetup);
  discovery.protocol = kProtocolIcmpV6;
  discovery.local_port = PortRange{133, 137};
  for (const Ipv6Range& range : {V6({0xFE, 0x80}, 10), V6({0xFF, 0x02}, 16)}) {
    discovery.remote_v6 = range;
    plan.Add(discovery, {FilterLayer::kOutboundV6, FilterLayer::kInboundV6});
  }

  LeakFilter dns_block =
      Filter("block name lookups elsewhere", FilterAction::kBlock, kWeightDnsBlock);
  dns_block.remote_port = PortRange{53, 53};
  for (uint8_t protocol : {kProtocolUdp, kProtocolTcp}) {
    dns_block.protocol = protocol;
    plan.Add(dns_block, {FilterLayer::kOutboundV4, FilterLayer::kOutboundV6});
  }

  if (inputs.tunnel_luid) {
    LeakFilter tunnel =
        Filter("permit the tunnel's interface", FilterAction::kPermit, kWeightTunnel);
    tunnel.interface_luid = inputs.tunnel_luid;
    plan.AddEverywhere(tunnel);
  }

  if (inputs.allow_local_network) {
    LeakFilter local =
        Filter("permit the local network", FilterAction::kPermit, kWeightLocalNetwork);
    for (const Ipv4Range& range :
         {Ipv4Range{0x0A000000, 8}, Ipv4Range{0xAC100000, 12}, Ipv4Range{0xC0A80000, 16},
          Ipv4Range{0x64400000, 10}, Ipv4Range{0xA9FE0000, 16}, Ipv4Range{0xE0000000, 4}}) {
      local.remote_v4 = range;
      plan.Add(local, {FilterLayer::kOutboundV4, FilterLayer::kInboundV4});
    }
    local.remote_v4.reset();
    for (const Ipv6Range& range : {V6({0xFE, 0x80}, 10), V6({0xFF}, 8)}) {
      local.remote_v6 = range;
      plan.Add(local, {FilterLayer::kOutboundV6, FilterLayer::kInboundV6});
    }
  }

  plan.AddEverywhere(Filter("block everything else", FilterAction::kBlock, kWeightBlockAll));
  return plan.Take();
}

}  // namespace duzavide
