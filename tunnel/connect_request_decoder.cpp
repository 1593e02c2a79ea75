#include "tunnel/connect_request_decoder.h"

#include <cstdint>
#include <string>
#include <variant>

namespace duzavide {
namespace {

// The value stored under the string key `key`, or null. Keys of another kind never
// match.
const EncodableValue* Find(const EncodableMap& map, const char* key) {
  auto found = map.find(EncodableValue(std::string(key)));
  return found == map.end() ? nullptr : &found->second;
}

void ReadText(const EncodableMap& map, const char* key, std::string* field) {
  const EncodableValue* value = Find(map, key);
  if (value == nullptr) return;
  if (const auto* text = std::get_if<std::string>(value)) *field = *text;
}

// A 32- or 64-bit integer keeps its low 32 bits, of which the field keeps the low
// 16. Doubles, bools and texts leave the default.
void ReadPortLike(const EncodableMap& map, const char* key, uint16_t* field) {
  const EncodableValue* value = Find(map, key);
  if (value == nullptr) return;
  if (const auto* small = std::get_if<int32_t>(value)) {
    *field = static_cast<uint16_t>(static_cast<uint32_t>(*small));
  } else if (const auto* large = std::get_if<int64_t>(value)) {
    *field = static_cast<uint16_t>(static_cast<uint32_t>(*large));
  }
}

bool IsNonEmptyText(const EncodableValue& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr && !text->empty();
}

void ReadRoutePolicy(const EncodableMap& policy, ConnectRequest* request) {
  if (const EncodableValue* hosts = Find(policy, "dns_hosts")) {
    if (const auto* host_map = std::get_if<EncodableMap>(hosts)) {
      for (const auto& [key, value] : *host_map) {
        const auto* list = std::get_if<EncodableList>(&value);
        if (!IsNonEmptyText(key) || list == nullptr) continue;
        std::vector<std::string> addresses;
        for (const EncodableValue& element : *list) {
          if (IsNonEmptyText(element)) addresses.push_back(std::get<std::string>(element));
        }
        if (!addresses.empty()) request->dns_hosts[std::get<std::string>(key)] = addresses;
      }
    }
  }
  if (const EncodableValue* servers = Find(policy, "dns_servers")) {
    if (const auto* list = std::get_if<EncodableList>(servers)) {
      for (const EncodableValue& element : *list) {
        if (IsNonEmptyText(element)) request->dns_servers.push_back(std::get<std::string>(element));
      }
    }
  }
}

}  // namespace

bool DecodeConnectRequest(const EncodableValue* arguments, ConnectRequest* request) {
  const auto* map = arguments != nullptr ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (map == nullptr) return false;
  ReadText(*map, "vlessUrl", &request->vlessUrl);
  if (const EncodableValue* wireguard = Find(*map, "wireguard")) {
    if (const auto* settings = std::get_if<EncodableMap>(wireguard)) {
      ReadText(*settings, "private_key", &request->private_key);
      ReadText(*settings, "address", &request->address);
      ReadText(*settings, "server_public_key", &request->server_public_key);
      ReadText(*settings, "relay_address", &request->relay_address);
      ReadPortLike(*settings, "relay_port", &request->relay_port);
      ReadPortLike(*settings, "mtu", &request->mtu);
      ReadPortLike(*settings, "keepalive", &request->keepalive);
    }
  }
  if (const EncodableValue* policy = Find(*map, "routePolicy")) {
    if (const auto* policy_map = std::get_if<EncodableMap>(policy)) {
      ReadRoutePolicy(*policy_map, request);
    }
  }
  return !request->vlessUrl.empty() && !request->private_key.empty() &&
         !request->server_public_key.empty();
}

}  // namespace duzavide
