#include "config/dns_section.h"

#include "config/builtin_dns_tables.h"
#include "config/json_text.h"

namespace duzavide {

const std::vector<std::string>& SelectDnsServers(const std::vector<std::string>& dns_servers) {
  return dns_servers.empty() ? BuiltinDnsServers() : dns_servers;
}

std::string RenderDnsHosts(const std::map<std::string, std::vector<std::string>>& dns_hosts) {
  const auto& table = dns_hosts.empty() ? BuiltinDnsHosts() : dns_hosts;
  std::string out = "{\n";
  bool first = true;
  for (const auto& [host, addresses] : table) {
    if (host.empty() || addresses.empty()) continue;
    if (!first) out += ",\n";
    out += "      ";
    out += QuoteJsonString(host);
    out += ": ";
    out += RenderJsonStringList(addresses);
    first = false;
  }
  out += "\n    }";
  return out;
}

}  // namespace duzavide
