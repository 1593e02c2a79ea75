#include "config/routing_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace duzavide {
namespace {

std::string ExpectedRules(const std::string& servers) {
  return R"(      { "type": "field", "inboundTag": ["tun-in"], "port": "53", "outboundTag": "dns-out" },)"
         "\n"
         R"(      { "type": "field", "ip": )" +
         servers +
         R"(, "outboundTag": "proxy" },)"
         "\n"
         R"(      { "type": "field", "inboundTag": ["wg-tcp-in"], "outboundTag": "proxy" },)"
         "\n"
         R"(      { "type": "field", "domain": ["geosite:microsoft", "domain:microsoft.com", )"
         R"("domain:live.com", "domain:microsoftonline.com", "domain:msauth.net", )"
         R"("domain:msftauth.net", "domain:msidentity.com", "domain:office.com", )"
         R"("domain:office365.com", "domain:microsoft365.com", "domain:office.net", )"
         R"("domain:outlook.com", "domain:sharepoint.com", "domain:onedrive.com", )"
         R"("domain:azure.com"], "outboundTag": "direct" },)"
         "\n"
         R"(      { "type": "field", "ip": ["10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "100.64.0.0/10"], "outboundTag": "direct" },)"
         "\n"
         R"(      { "type": "field", "ip": ["geoip:cn"], "outboundTag": "direct" },)"
         "\n"
         R"(      { "type": "field", "domain": ["geosite:cn"], "outboundTag": "direct" },)"
         "\n"
         R"(      { "type": "field", "inboundTag": ["tun-in"], "outboundTag": "wg-out" })";
}

TEST(RoutingRulesTest, EmitsEightRulesAroundTheServerList) {
  const std::string server_lists[] = {
      R"(["10.0.91.21", "10.0.91.16", "10.0.91.20"])",
      R"(["9.9.9.9", "dns.example.invalid"])",
      "[]",
  };
  for (const std::string& servers : server_lists) {
    SCOPED_TRACE(servers);
    const std::string rules = RenderRoutingRules(servers);
    EXPECT_EQ(rules, ExpectedRules(servers));
    EXPECT_EQ(std::count(rules.begin(), rules.end(), '\n'), 7);
    EXPECT_NE(rules.back(), '\n');
  }
}

}  // namespace
}  // namespace duzavide
