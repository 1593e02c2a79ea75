#ifndef CONFIG_CONNECT_REQUEST_H_
#define CONFIG_CONNECT_REQUEST_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace duzavide {

// The decoded arguments of a "connect" call. A plain value: the control-channel
// handler fills it, the tunnel session and the configuration writer read it.
// All texts are UTF-8 and are copies owned by the request.
struct ConnectRequest {
  std::string vlessUrl;  // NOLINT(readability-identifier-naming): channel key.
  std::string private_key;
  std::string address;
  std::string server_public_key;
  std::string relay_address;
  uint16_t relay_port = 51821;
  uint16_t mtu = 1200;
  uint16_t keepalive = 25;
  // Host text -> address texts. std::map orders keys byte-wise (a prefix sorts
  // first), which is the order the DNS section lists them in.
  std::map<std::string, std::vector<std::string>> dns_hosts;
  // Upstream servers in the order given.
  std::vector<std::string> dns_servers;
};

}  // namespace duzavide

#endif  // CONFIG_CONNECT_REQUEST_H_
