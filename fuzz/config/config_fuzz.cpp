// Feeds arbitrary bytes to the configuration writer as the share link, the
// WireGuard texts, the relay and bridge addresses and the DNS hosts and
// servers. The writer must never crash, and when every text is valid UTF-8 its
// result must be "{}" or JSON that carries the caller's texts back unchanged.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "config/core_config_writer.h"
#include "fuzz/valid_utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  duzavide::ConnectRequest request;
  std::string bridge_address;
  bool all_utf8 = true;
  const auto take = [&](size_t max_length) {
    std::string text = input.ConsumeRandomLengthString(max_length);
    all_utf8 = all_utf8 && duzavide::fuzzing::IsValidUtf8(text);
    return text;
  };
  request.vlessUrl = take(512);
  request.private_key = take(64);
  request.address = take(64);
  request.server_public_key = take(64);
  request.relay_address = take(64);
  bridge_address = take(64);
  const int host_count = input.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < host_count; ++i) {
    std::string host = take(64);
    const int address_count = input.ConsumeIntegralInRange(0, 3);
    std::vector<std::string> addresses;
    for (int k = 0; k < address_count; ++k) addresses.push_back(take(32));
    request.dns_hosts[host] = std::move(addresses);
  }
  const int server_count = input.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < server_count; ++i) request.dns_servers.push_back(take(32));
  request.relay_port = input.ConsumeIntegral<uint16_t>();
  request.mtu = input.ConsumeIntegral<uint16_t>();
  request.keepalive = input.ConsumeIntegral<uint16_t>();
  const auto bridge_udp_port = input.ConsumeIntegral<uint16_t>();
  const auto core_tcp_port = input.ConsumeIntegral<uint16_t>();

  const std::string text =
      duzavide::BuildCoreConfig(request, bridge_address, bridge_udp_port, core_tcp_port);
  if (!all_utf8 || text == "{}") return 0;

  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (document.is_discarded()) std::abort();
  const nlohmann::json& wg = document["outbounds"][0]["settings"];
  if (wg["secretKey"] != request.private_key ||
      wg["peers"][0]["publicKey"] != request.server_public_key ||
      document["inbounds"][1]["settings"]["address"] != request.relay_address ||
      document["inbounds"][1]["settings"]["port"] != request.relay_port) {
    std::abort();
  }
  return 0;
}
