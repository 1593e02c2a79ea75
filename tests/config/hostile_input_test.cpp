#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "config/core_config_writer.h"
#include "config/share_link.h"

namespace duzavide {
namespace {

using nlohmann::json;

// Texts that would break out of a JSON string if inserted unescaped: quotes,
// backslashes, control bytes, closing braces and brackets, and whole injected
// members. All are valid UTF-8, so an escaped document must parse.
const std::vector<std::string>& Payloads() {
  static const std::vector<std::string> payloads = {
      "\"",
      "\\",
      "\\\"",
      R"(", "x": {"y": 1}, "z": ")",
      R"(\", "inbounds": [], "a": \")",
      std::string("\x01\x08\t\n\x0b\x0c\r\x1f\x7f\0end", 14),
      "\"}]}]",
      "}}]]",
      R"("}, {"tag": "evil", "protocol": "freedom"}], "x": [{")",
      R"(\u0022\n)",
      "caf\xc3\xa9\"}",
  };
  return payloads;
}

ConnectRequest BaseRequest() {
  ConnectRequest request;
  request.vlessUrl = "vless://u@h:443?";
  request.private_key = "key";
  request.address = "10.8.0.2/32";
  request.server_public_key = "pub";
  return request;
}

// Structure of a document: keys and nesting and value kinds, with arrays of
// strings counted as one kind whatever their length. The hosts object holds
// data keys, so it is checked separately and left out here.
std::string Skeleton(const json& value) {
  switch (value.type()) {
    case json::value_t::object: {
      std::string out = "{";
      for (const auto& [key, member] : value.items()) out += key + ":" + Skeleton(member) + ",";
      return out + "}";
    }
    case json::value_t::array: {
      bool all_strings = true;
      for (const json& item : value) all_strings = all_strings && item.is_string();
      if (all_strings) return "[strings]";
      std::string out = "[";
      for (const json& item : value) out += Skeleton(item) + ",";
      return out + "]";
    }
    case json::value_t::string:
      return "s";
    case json::value_t::boolean:
      return "b";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
      return "n";
    default:
      return "?";
  }
}

size_t CountKeys(const json& value) {
  size_t count = 0;
  if (value.is_object()) count += value.size();
  if (value.is_structured()) {
    for (const json& item : value) count += CountKeys(item);
  }
  return count;
}

// Parses `text`, failing the test unless it is JSON in which no key repeats
// (a repeated key would let an injected member silently replace a real one).
json ParseStrict(const std::string& text) {
  size_t keys_seen = 0;
  const json document = json::parse(
      text,
      [&keys_seen](int, json::parse_event_t event, json&) {
        if (event == json::parse_event_t::key) ++keys_seen;
        return true;
      },
      /*allow_exceptions=*/false);
  EXPECT_FALSE(document.is_discarded()) << text;
  if (document.is_discarded()) return json();
  EXPECT_EQ(CountKeys(document), keys_seen) << text;
  return document;
}

std::string StructureWithoutHosts(json document) {
  if (document.contains("dns") && document["dns"].contains("hosts")) {
    EXPECT_TRUE(document["dns"]["hosts"].is_object());
    for (const auto& [host, addresses] : document["dns"]["hosts"].items()) {
      EXPECT_EQ(Skeleton(addresses), "[strings]") << host;
    }
    document["dns"]["hosts"] = json::object();
  }
  return Skeleton(document);
}

// Checks a built document: either refused, or valid JSON shaped exactly like
// the reference with every caller text read back unchanged.
void CheckDocument(const ConnectRequest& request, const std::string& bridge_address) {
  static const std::string reference =
      StructureWithoutHosts(ParseStrict(BuildCoreConfig(BaseRequest(), "192.168.1.5", 600, 601)));
  const std::string text = BuildCoreConfig(request, bridge_address, 600, 601);
  const auto link = ParseShareLink(request.vlessUrl);
  ASSERT_TRUE(link.has_value());
  if (text == "{}") {
    // Only a link whose port text was damaged may be refused here.
    EXPECT_NE(link->port, "443");
    return;
  }
  const json document = ParseStrict(text);
  EXPECT_EQ(StructureWithoutHosts(document), reference);
  const json& wg = document["outbounds"][0]["settings"];
  EXPECT_EQ(wg["secretKey"], request.private_key);
  EXPECT_EQ(wg["address"], json::array({request.address}));
  EXPECT_EQ(wg["peers"][0]["publicKey"], request.server_public_key);
  EXPECT_EQ(wg["peers"][0]["endpoint"], bridge_address + ":600");
  EXPECT_EQ(document["inbounds"][1]["settings"]["address"], request.relay_address);
  const json& vnext = document["outbounds"][2]["settings"]["vnext"][0];
  EXPECT_EQ(vnext["address"], link->address);
  EXPECT_EQ(vnext["users"][0]["id"], link->id);
  EXPECT_EQ(vnext["users"][0]["encryption"], link->encryption);
  EXPECT_EQ(vnext["users"][0]["flow"], link->flow);
  const json& stream = document["outbounds"][2]["streamSettings"];
  EXPECT_EQ(stream["security"], link->security);
  const json& reality = stream["realitySettings"];
  EXPECT_EQ(reality["fingerprint"], link->fingerprint);
  EXPECT_EQ(reality["serverName"], link->serverName);
  EXPECT_EQ(reality["publicKey"], link->publicKey);
  EXPECT_EQ(reality["shortId"], link->shortId);
  EXPECT_EQ(reality["spiderX"], link->spiderX);
  if (!request.dns_servers.empty()) {
    EXPECT_EQ(document["dns"]["servers"], json(request.dns_servers));
    EXPECT_EQ(document["routing"]["rules"][1]["ip"], json(request.dns_servers));
  }
  for (const auto& [host, addresses] : request.dns_hosts) {
    EXPECT_EQ(document["dns"]["hosts"][host], json(addresses));
  }
}

TEST(HostileInputTest, RequestTextsCannotChangeTheDocument) {
  using Setter = void (*)(ConnectRequest&, const std::string&);
  struct Field {
    const char* name;
    Setter set;
  };
  const Field fields[] = {
      {"private_key", [](ConnectRequest& r, const std::string& p) { r.private_key = p; }},
      {"address", [](ConnectRequest& r, const std::string& p) { r.address = p; }},
      {"server_public_key",
       [](ConnectRequest& r, const std::string& p) { r.server_public_key = p; }},
      {"relay_address", [](ConnectRequest& r, const std::string& p) { r.relay_address = p; }},
      {"dns_host_key",
       [](ConnectRequest& r, const std::string& p) { r.dns_hosts[p] = {"1.2.3.4"}; }},
      {"dns_host_address",
       [](ConnectRequest& r, const std::string& p) {
         r.dns_hosts["nas"] = {p, "10.0.0.1"};
       }},
      {"dns_server",
       [](ConnectRequest& r, const std::string& p) {
         r.dns_servers = {p, "9.9.9.9"};
       }},
  };
  for (const Field& field : fields) {
    for (const std::string& payload : Payloads()) {
      SCOPED_TRACE(std::string(field.name) + " = " + testing::PrintToString(payload));
      ConnectRequest request = BaseRequest();
      field.set(request, payload);
      CheckDocument(request, "192.168.1.5");
    }
  }
  for (const std::string& payload : Payloads()) {
    SCOPED_TRACE("bridge_address = " + testing::PrintToString(payload));
    CheckDocument(BaseRequest(), payload);
  }
}

TEST(HostileInputTest, LinkPartsCannotChangeTheDocument) {
  std::vector<std::string> link_forms = {"vless://{}@h:443?",       "vless://u@{}:443?",
                                         "vless://u@h:{}?",         "vless://u@h:443?sid=1#{}",
                                         "vless://u@h:443?type={}", "vless://u@h:443?{}=1"};
  for (const char* key : {"encryption", "flow", "security", "pbk", "publicKey", "sid", "shortId",
                          "spx", "spiderX", "fp", "fingerprint", "sni", "serverName"}) {
    link_forms.push_back(std::string("vless://u@h:443?") + key + "={}");
  }
  for (const std::string& form : link_forms) {
    for (const std::string& payload : Payloads()) {
      std::string link = form;
      link.replace(link.find("{}"), 2, payload);
      SCOPED_TRACE(testing::PrintToString(link));
      ConnectRequest request = BaseRequest();
      request.vlessUrl = link;
      CheckDocument(request, "192.168.1.5");
    }
  }
}

}  // namespace
}  // namespace duzavide
