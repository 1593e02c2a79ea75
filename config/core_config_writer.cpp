#include "config/core_config_writer.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "config/core_config_template.h"
#include "config/dns_section.h"
#include "config/json_text.h"
#include "config/routing_rules.h"
#include "config/share_link.h"

namespace duzavide {
namespace {

constexpr char kFailure[] = "{}";

struct Substitution {
  std::string_view name;
  std::string value;
};

// The link's port stands where a JSON number does, so only a real port number
// may go there: 1 to 5 ASCII digits with a value from 1 to 65535. Anything else
// could rewrite the document around it.
std::optional<uint16_t> ParsePortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// Copies `source`, replacing each ${name} with its value. Returns nullopt for a
// name that has no value, so a broken template can never leak through.
template <size_t N>
std::optional<std::string> FillTemplate(std::string_view source,
                                        const std::array<Substitution, N>& values,
                                        size_t size_hint) {
  std::string out;
  out.reserve(source.size() + size_hint);
  size_t pos = 0;
  while (true) {
    const size_t open = source.find("${", pos);
    if (open == std::string_view::npos) break;
    const size_t close = source.find('}', open + 2);
    if (close == std::string_view::npos) return std::nullopt;
    out.append(source.substr(pos, open - pos));
    const std::string_view name = source.substr(open + 2, close - open - 2);
    const Substitution* found = nullptr;
    for (const Substitution& s : values) {
      if (s.name == name) {
        found = &s;
        break;
      }
    }
    if (found == nullptr) return std::nullopt;
    out += found->value;
    pos = close + 1;
  }
  out.append(source.substr(pos));
  return out;
}

// The parsed link and port, or the first reason the inputs make no document.
struct CheckedInputs {
  std::optional<ShareLink> link;
  uint16_t link_port = 0;
  const char* problem = nullptr;
};

CheckedInputs CheckInputs(const ConnectRequest& request, const std::string& bridge_address) {
  CheckedInputs inputs;
  inputs.link = ParseShareLink(request.vlessUrl);
  std::optional<uint16_t> port;
  if (!inputs.link) {
    inputs.problem = "the share link has no \"@\" or no \"?\"";
  } else if (request.private_key.empty()) {
    inputs.problem = "the WireGuard private key is empty";
  } else if (request.address.empty()) {
    inputs.problem = "the WireGuard address is empty";
  } else if (request.server_public_key.empty()) {
    inputs.problem = "the server's WireGuard public key is empty";
  } else if (bridge_address.empty()) {
    inputs.problem = "the bridge has no address";
  } else if (port = ParsePortNumber(inputs.link->port); !port) {
    inputs.problem = "the share link's port is not a number from 1 to 65535";
  } else {
    inputs.link_port = *port;
  }
  return inputs;
}

}  // namespace

std::string CoreConfigProblem(const ConnectRequest& request, const std::string& bridge_address) {
  const char* problem = CheckInputs(request, bridge_address).problem;
  return problem != nullptr ? problem : "";
}

std::string BuildCoreConfig(const ConnectRequest& request, const std::string& bridge_address,
                            uint16_t bridge_udp_port, uint16_t core_tcp_port,
                            const std::string& server_address) {
  const CheckedInputs inputs = CheckInputs(request, bridge_address);
  if (inputs.problem != nullptr) return kFailure;
  const ShareLink& link = *inputs.link;

  const std::string dns_server_list = RenderJsonStringList(SelectDnsServers(request.dns_servers));
  const std::array<Substitution, 24> values = {{
      {"hostsObject", RenderDnsHosts(request.dns_hosts)},
      {"dnsServerList", dns_server_list},
      {"coreTcpPort", std::to_string(core_tcp_port)},
      {"relay_address", EscapeJsonString(request.relay_address)},
      {"relay_port", std::to_string(request.relay_port)},
      {"private_key", EscapeJsonString(request.private_key)},
      {"address", EscapeJsonString(request.address)},
      {"bridgeAddress", EscapeJsonString(bridge_address)},
      {"bridgeUdpPort", std::to_string(bridge_udp_port)},
      {"server_public_key", EscapeJsonString(request.server_public_key)},
      {"keepalive", std::to_string(request.keepalive)},
      {"mtu", std::to_string(request.mtu)},
      {"link.address", EscapeJsonString(server_address.empty() ? link.address : server_address)},
      // Written back in canonical form: JSON numbers have no leading zeros.
      {"link.port", std::to_string(inputs.link_port)},
      {"link.id", EscapeJsonString(link.id)},
      {"link.encryption", EscapeJsonString(link.encryption)},
      {"link.flow", EscapeJsonString(link.flow)},
      {"link.security", EscapeJsonString(link.security)},
      {"link.fingerprint", EscapeJsonString(link.fingerprint)},
      {"link.serverName", EscapeJsonString(link.serverName)},
      {"link.publicKey", EscapeJsonString(link.publicKey)},
      {"link.shortId", EscapeJsonString(link.shortId)},
      {"link.spiderX", EscapeJsonString(link.spiderX)},
      {"routingRules", RenderRoutingRules(dns_server_list)},
  }};
  size_t size_hint = 0;
  for (const Substitution& s : values) size_hint += s.value.size();
  std::optional<std::string> document = FillTemplate(kCoreConfigTemplate, values, size_hint);
  return document ? std::move(*document) : std::string(kFailure);
}

}  // namespace duzavide
