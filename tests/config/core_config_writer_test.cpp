#include "config/core_config_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/config/minimal_request.h"

namespace duzavide {
namespace {

// The document for MinimalRequest() with bridge 192.168.1.5:600 and core port
// 601, written out by hand from the document format.
constexpr char kMinimalDocument[] = R"golden({
  "log": { "loglevel": "warning" },
  "dns": {
    "hosts": {
      "android.chat.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],
      "api.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],
      "chat.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],
      "domain:chatgpt.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],
      "ios.chat.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"]
    },
    "servers": ["10.0.91.21", "10.0.91.16", "10.0.91.20"],
    "queryStrategy": "UseIPv4"
  },
  "inbounds": [{
    "tag": "tun-in",
    "protocol": "tun",
    "settings": {
      "name": "DuzavideTun",
      "mtu": 1280,
      "gateway": ["10.67.0.1/30"],
      "dns": ["10.67.0.2"],
      "autoSystemRoutingTable": ["0.0.0.0/0"],
      "autoOutboundsInterface": "auto"
    },
    "sniffing": { "enabled": true, "destOverride": ["http", "tls", "quic"], "routeOnly": true }
  }, {
    "listen": "127.0.0.1",
    "port": 601,
    "tag": "wg-tcp-in",
    "protocol": "dokodemo-door",
    "settings": { "address": "", "port": 51821, "network": "tcp" }
  }],
  "outbounds": [{
    "tag": "wg-out",
    "protocol": "wireguard",
    "settings": {
      "secretKey": "cHJpdmF0ZQ==",
      "address": ["10.8.0.2/32"],
      "peers": [{
        "endpoint": "192.168.1.5:600",
        "publicKey": "c2VydmVy",
        "allowedIPs": ["0.0.0.0/0"],
        "keepAlive": 25
      }],
      "noKernelTun": true,
      "mtu": 1200,
      "domainStrategy": "ForceIPv4"
    }
  }, {
    "tag": "dns-out",
    "protocol": "dns",
    "settings": {}
  }, {
    "tag": "proxy",
    "protocol": "vless",
    "settings": {
      "vnext": [{
        "address": "h",
        "port": 443,
        "users": [{ "id": "u", "encryption": "none", "flow": "xtls-rprx-vision" }]
      }]
    },
    "streamSettings": {
      "network": "tcp",
      "security": "reality",
      "tcpSettings": {
        "header": { "type": "none" }
      },
      "sockopt": {
        "tcpKeepAliveInterval": 30,
        "tcpKeepAliveIdle": 300
      },
      "realitySettings": {
        "show": false,
        "fingerprint": "chrome",
        "serverName": "h",
        "publicKey": "",
        "shortId": "",
        "spiderX": ""
      }
    }
  }, {
    "tag": "direct",
    "protocol": "freedom",
    "settings": {
      "domainStrategy": "UseIP"
    }
  }],
  "routing": {
    "domainStrategy": "AsIs",
    "rules": [
      { "type": "field", "inboundTag": ["tun-in"], "port": "53", "outboundTag": "dns-out" },
      { "type": "field", "ip": ["10.0.91.21", "10.0.91.16", "10.0.91.20"], "outboundTag": "proxy" },
      { "type": "field", "inboundTag": ["wg-tcp-in"], "outboundTag": "proxy" },
      { "type": "field", "domain": ["geosite:microsoft", "domain:microsoft.com", "domain:live.com", "domain:microsoftonline.com", "domain:msauth.net", "domain:msftauth.net", "domain:msidentity.com", "domain:office.com", "domain:office365.com", "domain:microsoft365.com", "domain:office.net", "domain:outlook.com", "domain:sharepoint.com", "domain:onedrive.com", "domain:azure.com"], "outboundTag": "direct" },
      { "type": "field", "ip": ["10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "100.64.0.0/10"], "outboundTag": "direct" },
      { "type": "field", "ip": ["geoip:cn"], "outboundTag": "direct" },
      { "type": "field", "domain": ["geosite:cn"], "outboundTag": "direct" },
      { "type": "field", "inboundTag": ["tun-in"], "outboundTag": "wg-out" }
    ]
  }
})golden";

std::string Build(const ConnectRequest& request) {
  return BuildCoreConfig(request, "192.168.1.5", 600, 601);
}

// Returns the document with every occurrence of `from` replaced by `to`.
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = text.find(from); pos != std::string::npos;
       pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

TEST(CoreConfigWriterTest, MinimalRequestMatchesTheDocumentByteForByte) {
  const std::string document = Build(MinimalRequest());
  EXPECT_EQ(document, kMinimalDocument);
  EXPECT_EQ(document.substr(0, 2), "{\n");
  EXPECT_EQ(document.back(), '}');
  EXPECT_EQ(document.find('\r'), std::string::npos);
}

TEST(CoreConfigWriterTest, RefusesUnusableRequests) {
  const std::string no_link = "the share link has no \"@\" or no \"?\"";
  struct Case {
    const char* name;
    void (*change)(ConnectRequest&);
    std::string problem;  // empty when a document is built
    std::string bridge_address = "192.168.1.5";
  };
  const Case cases[] = {
      {"link_without_at", [](ConnectRequest& r) { r.vlessUrl = "vless://h:443?"; }, no_link},
      {"link_without_question_mark", [](ConnectRequest& r) { r.vlessUrl = "vless://u@h:443"; },
       no_link},
      {"empty_link", [](ConnectRequest& r) { r.vlessUrl.clear(); }, no_link},
      {"empty_private_key", [](ConnectRequest& r) { r.private_key.clear(); },
       "the WireGuard private key is empty"},
      {"empty_address", [](ConnectRequest& r) { r.address.clear(); },
       "the WireGuard address is empty"},
      {"empty_server_public_key", [](ConnectRequest& r) { r.server_public_key.clear(); },
       "the server's WireGuard public key is empty"},
      {"empty_bridge_address", [](ConnectRequest&) {}, "the bridge has no address", ""},
      {"port_not_a_number", [](ConnectRequest& r) { r.vlessUrl = "vless://u@h:0?"; },
       "the share link's port is not a number from 1 to 65535"},
      {"usable", [](ConnectRequest&) {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectRequest request = MinimalRequest();
    c.change(request);
    EXPECT_EQ(CoreConfigProblem(request, c.bridge_address), c.problem);
    EXPECT_EQ(BuildCoreConfig(request, c.bridge_address, 600, 601) == "{}", !c.problem.empty());
  }
}

TEST(CoreConfigWriterTest, AcceptsOnlyRealPortNumbersFromTheLink) {
  struct Case {
    std::string link;
    std::string port_line;  // Empty when the document must be refused.
  };
  const Case cases[] = {
      {"vless://u@h:443?", "\"port\": 443,"},
      {"vless://u@h?x=1", "\"port\": 8720,"},
      {"vless://u@h:1?", "\"port\": 1,"},
      {"vless://u@h:65535?", "\"port\": 65535,"},
      {"vless://u@h:0443?", "\"port\": 443,"},
      {"vless://u@h:00001?", "\"port\": 1,"},
      {"vless://u@h:?x=1", ""},
      {"vless://u@h:0?", ""},
      {"vless://u@h:00000?", ""},
      {"vless://u@h:65536?", ""},
      {"vless://u@h:99999?", ""},
      {"vless://u@h:000443?", ""},
      {"vless://u@h:+443?", ""},
      {"vless://u@h:-1?", ""},
      {"vless://u@h: 443?", ""},
      {"vless://u@h:44 3?", ""},
      {"vless://u@h:4e2?", ""},
      {"vless://u@h:443, \"inbounds\": [?", ""},
      {"vless://u@[::1]:443?", ""},
      {"vless://a?b@h:1?c=d", ""},
      {std::string("vless://u@h:443\0?", 17), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    ConnectRequest request = MinimalRequest();
    request.vlessUrl = c.link;
    const std::string document = Build(request);
    if (c.port_line.empty()) {
      EXPECT_EQ(document, "{}");
    } else {
      EXPECT_NE(document.find("        " + c.port_line + "\n"), std::string::npos) << document;
    }
  }
}

TEST(CoreConfigWriterTest, FillsEveryPlaceholderFromItsSource) {
  ConnectRequest request = MinimalRequest();
  request.vlessUrl =
      "vless://id-1@srv.example.invalid:8443?security=tls&flow=&encryption=enc&pbk=PB"
      "&sid=SI&spx=/sp&fp=firefox&sni=name.invalid";
  request.relay_address = "10.9.0.1";
  request.relay_port = 7;
  request.mtu = 65535;
  request.keepalive = 0;
  request.dns_hosts = {{"nas", {"10.1.2.3", "10.1.2.4"}}};
  request.dns_servers = {"9.9.9.9", "1.1.1.1"};
  const std::string document = BuildCoreConfig(request, "10.0.0.7", 65535, 1);

  std::string expected = kMinimalDocument;
  const std::string builtin_servers = R"(["10.0.91.21", "10.0.91.16", "10.0.91.20"])";
  const size_t hosts_begin = expected.find("\"hosts\": ") + 9;
  const size_t hosts_end = expected.find("\n    },", hosts_begin) + 6;
  expected.replace(hosts_begin, hosts_end - hosts_begin,
                   "{\n      \"nas\": [\"10.1.2.3\", \"10.1.2.4\"]\n    }");
  expected = Replace(expected, builtin_servers, R"(["9.9.9.9", "1.1.1.1"])");
  expected = Replace(expected, "\"port\": 601,", "\"port\": 1,");
  expected =
      Replace(expected, R"("address": "", "port": 51821)", R"("address": "10.9.0.1", "port": 7)");
  expected = Replace(expected, "192.168.1.5:600", "10.0.0.7:65535");
  expected = Replace(expected, "\"keepAlive\": 25", "\"keepAlive\": 0");
  expected = Replace(expected, "\"mtu\": 1200", "\"mtu\": 65535");
  expected = Replace(expected, "\"address\": \"h\"", "\"address\": \"srv.example.invalid\"");
  expected = Replace(expected, "\"port\": 443,", "\"port\": 8443,");
  expected = Replace(expected, R"("id": "u", "encryption": "none", "flow": "xtls-rprx-vision")",
                     R"("id": "id-1", "encryption": "enc", "flow": "")");
  expected = Replace(expected, "\"security\": \"reality\"", "\"security\": \"tls\"");
  expected = Replace(expected, "\"fingerprint\": \"chrome\"", "\"fingerprint\": \"firefox\"");
  expected = Replace(expected, "\"serverName\": \"h\"", "\"serverName\": \"name.invalid\"");
  expected = Replace(expected, R"("publicKey": "",)", R"("publicKey": "PB",)");
  expected = Replace(expected, R"("shortId": "",)", R"("shortId": "SI",)");
  expected = Replace(expected, R"("spiderX": "")", R"("spiderX": "/sp")");
  EXPECT_EQ(document, expected);
}

TEST(CoreConfigWriterTest, AResolvedServerAddressChangesOnlyWhereTheCoreConnects) {
  // The link names no server name: its host stays the TLS server name.
  EXPECT_EQ(BuildCoreConfig(MinimalRequest(), "192.168.1.5", 600, 601, "203.0.113.5"),
            Replace(kMinimalDocument, "\"address\": \"h\"", "\"address\": \"203.0.113.5\""));
}

TEST(CoreConfigWriterTest, ServerListOfEmptyTextsStaysTheCallersList) {
  ConnectRequest request = MinimalRequest();
  request.dns_servers = {"", ""};
  const std::string document = Build(request);
  EXPECT_NE(document.find("    \"servers\": [],\n"), std::string::npos);
  EXPECT_NE(
      document.find("      { \"type\": \"field\", \"ip\": [], \"outboundTag\": \"proxy\" },\n"),
      std::string::npos);
  EXPECT_EQ(document.find("10.0.91."), std::string::npos);
}

}  // namespace
}  // namespace duzavide
