#include "standins/core/core_settings.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <nlohmann/json.hpp>

namespace duzavide::standin {
namespace {

using nlohmann::json;

const json* FindTagged(const json& document, const char* section, const char* tag) {
  auto list = document.find(section);
  if (list == document.end() || !list->is_array()) return nullptr;
  for (const json& entry : *list) {
    if (!entry.is_object()) continue;
    auto found = entry.find("tag");
    if (found != entry.end() && found->is_string() && *found == tag) return &entry;
  }
  return nullptr;
}

bool ReadPort(const json& object, const char* key, uint16_t* port) {
  auto found = object.find(key);
  if (found == object.end() || !found->is_number_integer()) return false;
  long long value = found->get<long long>();
  if (value < 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

bool SplitEndpoint(const std::string& endpoint, std::string* host, uint16_t* port) {
  size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos || colon + 1 == endpoint.size()) return false;
  unsigned long value = 0;
  for (size_t i = colon + 1; i < endpoint.size(); ++i) {
    char c = endpoint[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return false;
  }
  *host = endpoint.substr(0, colon);
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool ParseCoreSettings(const std::string& document, CoreSettings* settings, std::string* error) {
  json root = json::parse(document, nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded() || !root.is_object()) {
    *error = "configuration is not a JSON object";
    return false;
  }
  const json* inbound = FindTagged(root, "inbounds", "wg-tcp-in");
  if (inbound == nullptr) {
    *error = "configuration has no inbound tagged wg-tcp-in";
    return false;
  }
  const json* outbound = FindTagged(root, "outbounds", "wg-out");
  if (outbound == nullptr) {
    *error = "configuration has no outbound tagged wg-out";
    return false;
  }
  if (!ReadPort(*inbound, "port", &settings->listen_port)) {
    *error = "wg-tcp-in has no usable port";
    return false;
  }
  auto inbound_settings = inbound->find("settings");
  if (inbound_settings == inbound->end() || !inbound_settings->is_object() ||
      !ReadPort(*inbound_settings, "port", &settings->relay_port)) {
    *error = "wg-tcp-in settings have no usable port";
    return false;
  }
  auto address = inbound_settings->find("address");
  settings->relay_address = address != inbound_settings->end() && address->is_string()
                                ? address->get<std::string>()
                                : std::string();
  const json* peer = nullptr;
  auto outbound_settings = outbound->find("settings");
  if (outbound_settings != outbound->end() && outbound_settings->is_object()) {
    auto peers = outbound_settings->find("peers");
    if (peers != outbound_settings->end() && peers->is_array() && !peers->empty()) {
      peer = &peers->front();
    }
  }
  if (peer == nullptr || !peer->is_object() || !peer->contains("endpoint") ||
      !(*peer)["endpoint"].is_string() ||
      !SplitEndpoint((*peer)["endpoint"].get<std::string>(), &settings->peer_host,
                     &settings->peer_port)) {
    *error = "wg-out has no usable peer endpoint";
    return false;
  }
  return true;
}

bool IsLoopbackAddress(const std::string& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  return (ntohl(parsed.s_addr) >> 24) == 127;
}

bool IsThisMachine(const std::string& address) {
  if (IsLoopbackAddress(address)) return true;
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  MIB_UNICASTIPADDRESS_TABLE* table = nullptr;
  if (::GetUnicastIpAddressTable(AF_INET, &table) != NO_ERROR) return false;
  bool found = false;
  for (ULONG i = 0; i < table->NumEntries && !found; ++i) {
    found = table->Table[i].Address.Ipv4.sin_addr.s_addr == parsed.s_addr;
  }
  ::FreeMibTable(table);
  return found;
}

}  // namespace duzavide::standin
