#include "standins/core/wireguard_pinger.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <thread>
#include <vector>

#include "standins/core/core_output.h"
#include "standins/core/core_settings.h"

namespace duzavide::standin {
namespace {

constexpr auto kPingInterval = std::chrono::milliseconds(500);
// Shaped like WireGuard's data messages, which a live peer answers: type 4 and
// its header, the text, a 16-byte tag.
constexpr size_t kDataHeader = 16;
constexpr size_t kDataTag = 16;

std::string DataMessage(const std::string& text) {
  std::string message(kDataHeader, '\0');
  message[0] = 4;
  return message + text + std::string(kDataTag, '\0');
}

void PingLoop(SOCKET socket, sockaddr_in peer) {
  using Clock = std::chrono::steady_clock;
  std::vector<char> buffer(65536);
  unsigned long long sequence = 0;
  Clock::time_point next_ping = Clock::now();
  for (;;) {
    Clock::time_point now = Clock::now();
    if (now >= next_ping) {
      const std::string ping = DataMessage("standin-ping " + std::to_string(++sequence));
      ::sendto(socket, ping.data(), static_cast<int>(ping.size()), 0,
               reinterpret_cast<const sockaddr*>(&peer), sizeof(peer));
      next_ping += kPingInterval;
      continue;
    }
    auto wait = std::chrono::duration_cast<std::chrono::microseconds>(next_ping - now);
    timeval timeout{static_cast<long>(wait.count() / 1000000),
                    static_cast<long>(wait.count() % 1000000)};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    if (::select(0, &readable, nullptr, nullptr, &timeout) <= 0) continue;
    sockaddr_in source{};
    int source_size = sizeof(source);
    int got = ::recvfrom(socket, buffer.data(), static_cast<int>(buffer.size()), 0,
                         reinterpret_cast<sockaddr*>(&source), &source_size);
    if (got < 0) continue;  // e.g. an ICMP port-unreachable report while nobody listens
    if (source.sin_addr.s_addr != peer.sin_addr.s_addr || source.sin_port != peer.sin_port) {
      continue;
    }
    const size_t size = static_cast<size_t>(got);
    if (size <= kDataHeader + kDataTag) continue;
    WriteStdout("standin-pong " +
                std::string(buffer.data() + kDataHeader, size - kDataHeader - kDataTag) + "\n");
  }
}

}  // namespace

bool StartWireGuardPinger(const std::string& peer_host, uint16_t peer_port, std::string* error) {
  if (!IsThisMachine(peer_host)) {
    WriteStdout("standin-core: peer " + peer_host +
                " is not an address of this machine, not pinging\n");
    return true;
  }
  SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  // A peer on another address of this machine is pinged from that address: the
  // datagrams stay on it both ways, whatever the interface's state.
  const std::string source = IsLoopbackAddress(peer_host) ? "127.0.0.1" : peer_host;
  ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
  if (socket == INVALID_SOCKET ||
      ::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
    *error = "cannot open the WireGuard socket";
    if (socket != INVALID_SOCKET) ::closesocket(socket);
    return false;
  }
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(peer_port);
  ::inet_pton(AF_INET, peer_host.c_str(), &peer.sin_addr);
  std::thread(PingLoop, socket, peer).detach();
  return true;
}

}  // namespace duzavide::standin
