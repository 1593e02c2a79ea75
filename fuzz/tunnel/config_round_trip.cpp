#include "fuzz/tunnel/config_round_trip.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "config/core_config_writer.h"
#include "config/share_link.h"
#include "fuzz/valid_utf8.h"

namespace duzavide::fuzzing {
namespace {

constexpr char kBridgeAddress[] = "192.0.2.10";
constexpr uint16_t kBridgeUdpPort = 40000;
constexpr uint16_t kCoreTcpPort = 40001;

bool AllUtf8(const ConnectRequest& request) {
  for (const std::string* text : {&request.vlessUrl, &request.private_key, &request.address,
                                  &request.server_public_key, &request.relay_address}) {
    if (!IsValidUtf8(*text)) return false;
  }
  for (const auto& [host, addresses] : request.dns_hosts) {
    if (!IsValidUtf8(host)) return false;
    for (const auto& address : addresses) {
      if (!IsValidUtf8(address)) return false;
    }
  }
  for (const auto& server : request.dns_servers) {
    if (!IsValidUtf8(server)) return false;
  }
  return true;
}

}  // namespace

bool ConfigurationNamesRequest(const ConnectRequest& request) {
  if (!AllUtf8(request)) return true;
  const std::string text = BuildCoreConfig(request, kBridgeAddress, kBridgeUdpPort, kCoreTcpPort);
  if (text == "{}") return true;
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (document.is_discarded()) return false;
  const nlohmann::json& wireguard = document["outbounds"][0]["settings"];
  const nlohmann::json& peer = wireguard["peers"][0];
  const nlohmann::json& stream_in = document["inbounds"][1];
  if (wireguard["secretKey"] != request.private_key ||
      wireguard["address"] != nlohmann::json::array({request.address}) ||
      wireguard["mtu"] != request.mtu || peer["publicKey"] != request.server_public_key ||
      peer["keepAlive"] != request.keepalive ||
      peer["endpoint"] != std::string(kBridgeAddress) + ":" + std::to_string(kBridgeUdpPort) ||
      stream_in["port"] != kCoreTcpPort ||
      stream_in["settings"]["address"] != request.relay_address ||
      stream_in["settings"]["port"] != request.relay_port) {
    return false;
  }
  // Empty DNS parts fall back to the built-in tables.
  if (!request.dns_hosts.empty() && document["dns"]["hosts"] != request.dns_hosts) return false;
  if (!request.dns_servers.empty() && document["dns"]["servers"] != request.dns_servers) {
    return false;
  }
  const auto link = ParseShareLink(request.vlessUrl);
  if (!link.has_value()) return false;
  const nlohmann::json& server = document["outbounds"][2]["settings"]["vnext"][0];
  return server["address"] == link->address && server["users"][0]["id"] == link->id;
}

}  // namespace duzavide::fuzzing
