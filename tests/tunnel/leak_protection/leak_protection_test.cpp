// The leak protection's plan, and its sequence against a fake filtering engine.
#include "tunnel/leak_protection/leak_protection.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tunnel/leak_protection/leak_protection_plan.h"

namespace duzavide {
namespace {

constexpr wchar_t kCore[] = L"C:\\Program Files\\Duzavide Connect\\Dátá ünïcode\\xray.exe";
constexpr wchar_t kHost[] = L"C:\\Program Files\\Duzavide Connect\\Duzavide.exe";

struct Row {
  FilterAction action;
  uint8_t weight;
  size_t layers;  // how many filters of this name
};

std::map<std::string, Row> RowsByName(const std::vector<LeakFilter>& plan) {
  std::map<std::string, Row> rows;
  for (const LeakFilter& filter : plan) {
    Row& row = rows.emplace(filter.name, Row{filter.action, filter.weight, 0}).first->second;
    EXPECT_EQ(row.action, filter.action) << filter.name;
    EXPECT_EQ(row.weight, filter.weight) << filter.name;
    ++row.layers;
  }
  return rows;
}

TEST(LeakProtectionPlanTest, BlocksEverythingButWhatTheTunnelNeedsInAPlainOrder) {
  const LeakProtectionInputs full{kCore, kHost, 0x1234, kTunnelDnsAddress, true};
  LeakProtectionInputs before_tun = full;
  before_tun.tunnel_luid.reset();
  LeakProtectionInputs no_local = full;
  no_local.allow_local_network = false;
  const FilterAction permit = FilterAction::kPermit;
  const FilterAction block = FilterAction::kBlock;
  const std::map<std::string, Row> all = {
      {"permit loopback", {permit, 15, 4}},
      {"permit the core", {permit, 15, 4}},
      {"permit the bridge's datagrams", {permit, 15, 4}},
      {"permit name lookups to the tunnel's DNS", {permit, 14, 2}},
      {"permit DHCP", {permit, 13, 2}},
      {"permit DHCPv6", {permit, 13, 2}},
      {"permit IPv6 router and neighbour discovery", {permit, 13, 4}},
      {"block name lookups elsewhere", {block, 12, 4}},
      {"permit the tunnel's interface", {permit, 10, 4}},
      {"permit the local network", {permit, 8, 16}},
      {"block everything else", {block, 0, 4}},
  };
  struct Case {
    const char* name;
    LeakProtectionInputs inputs;
    std::set<std::string> absent;
  } cases[] = {
      {"with the tunnel's interface", full, {}},
      {"before the core made its interface", before_tun, {"permit the tunnel's interface"}},
      {"local network off", no_local, {"permit the local network"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<LeakFilter> plan = PlanLeakProtection(c.inputs);
    std::map<std::string, Row> expected = all;
    for (const std::string& name : c.absent) expected.erase(name);
    const std::map<std::string, Row> rows = RowsByName(plan);
    ASSERT_EQ(rows.size(), expected.size());
    for (const auto& [name, row] : expected) {
      SCOPED_TRACE(name);
      ASSERT_EQ(rows.count(name), 1u);
      EXPECT_EQ(rows.at(name).action, row.action);
      EXPECT_EQ(rows.at(name).weight, row.weight);
      EXPECT_EQ(rows.at(name).layers, row.layers);
    }
    std::set<FilterLayer> blocked;
    for (const LeakFilter& filter : plan) {
      if (filter.name == "permit the core") EXPECT_EQ(filter.application, kCore);
      if (filter.name == "permit the bridge's datagrams") {
        EXPECT_EQ(filter.application, kHost);
        EXPECT_EQ(filter.protocol, kProtocolUdp);
      }
      if (filter.name == "permit the tunnel's interface") EXPECT_EQ(filter.interface_luid, 0x1234u);
      if (filter.name == "permit name lookups to the tunnel's DNS") {
        EXPECT_EQ(filter.remote_v4, (Ipv4Range{0x0A430002, 32}));
        EXPECT_EQ(filter.remote_port, (PortRange{53, 53}));
      }
      if (filter.name == "block name lookups elsewhere") {
        EXPECT_EQ(filter.remote_port, (PortRange{53, 53}));
        EXPECT_TRUE(filter.protocol == kProtocolUdp || filter.protocol == kProtocolTcp);
        EXPECT_FALSE(filter.remote_v4 || filter.remote_v6) << "it must hold for every address";
      }
      if (filter.name == "block everything else") {
        EXPECT_FALSE(filter.loopback || filter.interface_luid || !filter.application.empty() ||
                     filter.protocol || filter.remote_v4 || filter.remote_v6);
        blocked.insert(filter.layer);
      }
      if (filter.name == "permit the local network") {
        const bool v4 =
            filter.layer == FilterLayer::kOutboundV4 || filter.layer == FilterLayer::kInboundV4;
        EXPECT_EQ(filter.remote_v4.has_value(), v4);
        EXPECT_EQ(filter.remote_v6.has_value(), !v4);
      }
    }
    EXPECT_EQ(blocked.size(), 4u) << "IPv4 and IPv6, outbound and inbound";
  }
}

// Records the calls; each answer is what the test sets.
class FakeEngine final : public FilteringPlatform {
 public:
  OpenResult Open(std::string* failure) override {
    calls.push_back("open");
    if (open != OpenResult::kOpened) *failure = "no";
    return open;
  }
  bool Replace(const std::vector<LeakFilter>& filters, std::string* failure) override {
    calls.push_back("replace " + std::to_string(filters.size()));
    if (!replace) *failure = "refused";
    return replace;
  }
  void Close() override { calls.push_back("close"); }

  OpenResult open = OpenResult::kOpened;
  bool replace = true;
  std::vector<std::string> calls;
};

TEST(LeakProtectionTest, NothingIsLeftBehindAndNothingFollowsAFailedOpen) {
  const std::vector<LeakFilter> plan(3);
  using State = LeakProtection::State;
  struct Case {
    const char* name;
    FilteringPlatform::OpenResult open;
    bool first_replace;
    bool applied;
    State state;
    std::vector<std::string> calls;  // Apply, Apply again (refused), Remove, Remove
  } cases[] = {
      {"in place, updated, removed once",
       FilteringPlatform::OpenResult::kOpened,
       true,
       true,
       State::kOn,
       {"open", "replace 3", "replace 3", "close"}},
      {"no engine: nothing more is called",
       FilteringPlatform::OpenResult::kNoEngine,
       true,
       true,
       State::kUnavailable,
       {"open"}},
      {"a failed open",
       FilteringPlatform::OpenResult::kFailed,
       true,
       false,
       State::kOff,
       {"open", "open"}},
      {"a refused first add closes the session",
       FilteringPlatform::OpenResult::kOpened,
       false,
       false,
       State::kOff,
       {"open", "replace 3", "close", "open", "replace 3", "close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeEngine engine;
    engine.open = c.open;
    engine.replace = c.first_replace;
    LeakProtection protection(&engine);
    std::string failure;
    EXPECT_EQ(protection.Apply(plan, &failure), c.applied);
    EXPECT_EQ(protection.state(), c.state);
    EXPECT_EQ(failure.empty(), c.applied);
    // A second apply: an update when in place (refused here: the old filters stay).
    engine.replace = false;
    protection.Apply(plan, &failure);
    EXPECT_EQ(protection.state(), c.state);
    protection.Remove();
    protection.Remove();
    EXPECT_EQ(protection.state(), State::kOff);
    EXPECT_EQ(engine.calls, c.calls);
  }
}

}  // namespace
}  // namespace duzavide
