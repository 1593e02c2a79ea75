#ifndef CONFIG_CORE_CONFIG_TEMPLATE_H_
#define CONFIG_CORE_CONFIG_TEMPLATE_H_

namespace duzavide {

// The core configuration document. Each ${name} is replaced by the writer;
// everything else is emitted byte for byte. Text placeholders sit between
// literal quotes and receive escaped text; the others receive decimal numbers
// or pre-rendered JSON.
inline constexpr char kCoreConfigTemplate[] = R"json({
  "log": { "loglevel": "warning" },
  "dns": {
    "hosts": ${hostsObject},
    "servers": ${dnsServerList},
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
    "port": ${coreTcpPort},
    "tag": "wg-tcp-in",
    "protocol": "dokodemo-door",
    "settings": { "address": "${relay_address}", "port": ${relay_port}, "network": "tcp" }
  }],
  "outbounds": [{
    "tag": "wg-out",
    "protocol": "wireguard",
    "settings": {
      "secretKey": "${private_key}",
      "address": ["${address}"],
      "peers": [{
        "endpoint": "${bridgeAddress}:${bridgeUdpPort}",
        "publicKey": "${server_public_key}",
        "allowedIPs": ["0.0.0.0/0"],
        "keepAlive": ${keepalive}
      }],
      "noKernelTun": true,
      "mtu": ${mtu},
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
        "address": "${link.address}",
        "port": ${link.port},
        "users": [{ "id": "${link.id}", "encryption": "${link.encryption}", "flow": "${link.flow}" }]
      }]
    },
    "streamSettings": {
      "network": "tcp",
      "security": "${link.security}",
      "tcpSettings": {
        "header": { "type": "none" }
      },
      "sockopt": {
        "tcpKeepAliveInterval": 30,
        "tcpKeepAliveIdle": 300
      },
      "realitySettings": {
        "show": false,
        "fingerprint": "${link.fingerprint}",
        "serverName": "${link.serverName}",
        "publicKey": "${link.publicKey}",
        "shortId": "${link.shortId}",
        "spiderX": "${link.spiderX}"
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
${routingRules}
    ]
  }
})json";

}  // namespace duzavide

#endif  // CONFIG_CORE_CONFIG_TEMPLATE_H_
