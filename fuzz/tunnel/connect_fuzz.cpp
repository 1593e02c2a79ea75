// Arbitrary bytes decoded to a value tree, then read as the arguments of
// "connect". The decoder must never crash, must call a request usable exactly
// when its three required texts arrived, and must keep only non-empty DNS texts.
// A usable request whose texts are all UTF-8 then goes through the configuration
// writer: unless the writer refuses it ("{}"), the document must parse as JSON
// and carry every value of the request back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "channel/byte_streams.h"
#include "channel/standard_codec_serializer.h"
#include "config/core_config_writer.h"
#include "config/share_link.h"
#include "fuzz/valid_utf8.h"
#include "tunnel/connect_request_decoder.h"

namespace {

using duzavide::fuzzing::IsValidUtf8;

constexpr char kBridgeAddress[] = "192.0.2.10";
constexpr uint16_t kBridgeUdpPort = 40000;
constexpr uint16_t kCoreTcpPort = 40001;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool AllUtf8(const duzavide::ConnectRequest& request) {
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

void RequireDocumentNamesRequest(const duzavide::ConnectRequest& request) {
  const std::string text =
      duzavide::BuildCoreConfig(request, kBridgeAddress, kBridgeUdpPort, kCoreTcpPort);
  if (text == "{}") return;
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  Require(!document.is_discarded());
  const nlohmann::json& wireguard = document["outbounds"][0]["settings"];
  const nlohmann::json& peer = wireguard["peers"][0];
  const nlohmann::json& stream_in = document["inbounds"][1];
  Require(wireguard["secretKey"] == request.private_key &&
          wireguard["address"] == nlohmann::json::array({request.address}) &&
          wireguard["mtu"] == request.mtu && peer["publicKey"] == request.server_public_key &&
          peer["keepAlive"] == request.keepalive &&
          peer["endpoint"] == std::string(kBridgeAddress) + ":" + std::to_string(kBridgeUdpPort));
  Require(stream_in["port"] == kCoreTcpPort &&
          stream_in["settings"]["address"] == request.relay_address &&
          stream_in["settings"]["port"] == request.relay_port);
  // Empty DNS parts fall back to the built-in tables.
  if (!request.dns_hosts.empty()) Require(document["dns"]["hosts"] == request.dns_hosts);
  if (!request.dns_servers.empty()) Require(document["dns"]["servers"] == request.dns_servers);
  const auto link = duzavide::ParseShareLink(request.vlessUrl);
  Require(link.has_value());
  const nlohmann::json& server = document["outbounds"][2]["settings"]["vnext"][0];
  Require(server["address"] == link->address && server["users"][0]["id"] == link->id);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Damaged input makes the codec write a line per failed read; nobody reads them.
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  duzavide::ByteBufferStreamReader stream(data, size);
  const duzavide::EncodableValue arguments =
      duzavide::StandardCodecSerializer::GetInstance().ReadValue(&stream);
  duzavide::ConnectRequest request;
  const bool usable = duzavide::DecodeConnectRequest(&arguments, &request);
  Require(usable == (!request.vlessUrl.empty() && !request.private_key.empty() &&
                     !request.server_public_key.empty()));
  for (const auto& [host, addresses] : request.dns_hosts) {
    Require(!host.empty() && !addresses.empty());
    for (const auto& address : addresses) Require(!address.empty());
  }
  for (const auto& server : request.dns_servers) Require(!server.empty());
  if (usable && AllUtf8(request)) RequireDocumentNamesRequest(request);
  return 0;
}
