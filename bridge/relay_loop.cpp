// The relay thread of WireGuardTcpBridge.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "bridge/frame_assembler.h"
#include "bridge/relay_context.h"
#include "bridge/socket_io.h"
#include "bridge/wireguard_tcp_bridge.h"

namespace duzavide {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kConnectedLine[] = "[bridge] WireGuard TCP transport connected";
constexpr std::chrono::milliseconds kMaxReadinessWait{1000};
constexpr std::chrono::milliseconds kReconnectPause{1000};
constexpr std::chrono::milliseconds kPauseSlice{50};
constexpr size_t kMaxDatagram = 65535;
constexpr size_t kStreamReadSize = 65536;
// Ready datagrams are framed back to back and written with one send. A batch stops
// taking datagrams once it holds this many bytes or datagrams.
constexpr size_t kBatchBytes = 65536;
constexpr int kBatchDatagrams = 64;

class Relay {
 public:
  explicit Relay(RelayContext& context)
      : context_(context), outgoing_(kBatchBytes + 2 + kMaxDatagram), incoming_(kStreamReadSize) {}

  unsigned Run() {
    while (context_.IsRunning()) {
      if (tcp_ == INVALID_SOCKET) {
        if (!Connect()) Pause();
        continue;
      }
      if (!Pass()) {
        CloseConnection();
        Pause();
      }
    }
    CloseConnection();
    return 0;
  }

 private:
  // Sleeps for the reconnect pause, cut short when the bridge stops.
  void Pause() {
    const Clock::time_point end = Clock::now() + kReconnectPause;
    while (context_.IsRunning() && Clock::now() < end) ::Sleep(kPauseSlice.count());
  }

  bool Connect() {
    SOCKET tcp = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (tcp == INVALID_SOCKET) return false;
    BOOL on = TRUE;
    ::setsockopt(tcp, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof(on));
    ::setsockopt(tcp, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    sockaddr_in core{};
    core.sin_family = AF_INET;
    core.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    core.sin_port = htons(context_.core_tcp_port);
    if (::connect(tcp, reinterpret_cast<const sockaddr*>(&core), sizeof(core)) != 0) {
      ::closesocket(tcp);
      return false;
    }
    tcp_ = tcp;
    context_.tcp_socket->Publish(tcp);
    // StopBridge clears the flag before it looks for a socket to shut down; if it
    // looked before the socket was published, the flag is already clear here.
    if (!context_.IsRunning()) return true;
    assembler_.Clear();
    last_sent_ = Clock::now();
    if (context_.line_observer) context_.line_observer(kConnectedLine);
    return true;
  }

  void CloseConnection() {
    if (tcp_ == INVALID_SOCKET) return;
    context_.tcp_socket->Withdraw(tcp_);
    ::shutdown(tcp_, SD_BOTH);
    ::closesocket(tcp_);
    tcp_ = INVALID_SOCKET;
    assembler_.Clear();
  }

  // One readiness wait and what follows it. False when the connection must be
  // rebuilt.
  bool Pass() {
    const SOCKET udp = context_.udp_socket.Get();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(udp, &readable);
    FD_SET(tcp_, &readable);
    const auto wait = std::min(kMaxReadinessWait,
                               std::max(context_.keepalive_interval, std::chrono::milliseconds(1)));
    timeval timeout{};
    timeout.tv_sec = static_cast<long>(wait.count() / 1000);
    timeout.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    if (::select(0, &readable, nullptr, nullptr, &timeout) == SOCKET_ERROR) return false;
    if (FD_ISSET(udp, &readable) && !ForwardDatagrams()) return false;
    if (FD_ISSET(tcp_, &readable) && !ReturnFrames()) return false;
    if (Clock::now() - last_sent_ >= context_.keepalive_interval) {
      static const uint8_t kKeepalive[2] = {0, 0};
      if (!SendAll(tcp_, kKeepalive, sizeof(kKeepalive))) return false;
      last_sent_ = Clock::now();
    }
    return true;
  }

  // Reads every datagram that is ready (up to one batch), frames the accepted ones
  // back to back and writes them with one send.
  bool ForwardDatagrams() {
    const SOCKET udp = context_.udp_socket.Get();
    size_t used = 0;
    for (int reads = 0; reads < kBatchDatagrams && used < kBatchBytes; ++reads) {
      uint8_t* frame = outgoing_.data() + used;
      sockaddr_in source{};
      int source_size = sizeof(source);
      int size = ::recvfrom(udp, reinterpret_cast<char*>(frame + 2), static_cast<int>(kMaxDatagram),
                            0, reinterpret_cast<sockaddr*>(&source), &source_size);
      if (size == SOCKET_ERROR) {
        if (::WSAGetLastError() == WSAEWOULDBLOCK) break;
        continue;  // a failed read loses that datagram only
      }
      if (size <= 0) continue;
      // Only the core on this machine may feed the tunnel or receive its traffic.
      if (source_size < static_cast<int>(sizeof(source)) || source.sin_family != AF_INET ||
          source.sin_addr.s_addr != context_.local_address.s_addr) {
        continue;
      }
      peer_ = source;
      peer_known_ = true;
      frame[0] = static_cast<uint8_t>(size >> 8);
      frame[1] = static_cast<uint8_t>(size & 0xFF);
      used += 2 + static_cast<size_t>(size);
    }
    if (used == 0) return true;
    if (!SendAll(tcp_, outgoing_.data(), used)) return false;
    last_sent_ = Clock::now();
    return true;
  }

  bool ReturnFrames() {
    int size = ::recv(tcp_, reinterpret_cast<char*>(incoming_.data()),
                      static_cast<int>(incoming_.size()), 0);
    if (size <= 0) return false;  // closed by the core, or failed
    const SOCKET udp = context_.udp_socket.Get();
    assembler_.Feed(
        incoming_.data(), static_cast<size_t>(size), [&](const uint8_t* payload, size_t length) {
          if (length == 0 || !peer_known_) return;
          // A lost returning datagram is WireGuard's to recover.
          ::sendto(udp, reinterpret_cast<const char*>(payload), static_cast<int>(length), 0,
                   reinterpret_cast<const sockaddr*>(&peer_), sizeof(peer_));
        });
    return true;
  }

  RelayContext& context_;
  SOCKET tcp_ = INVALID_SOCKET;  // owned; closed by CloseConnection
  std::vector<uint8_t> outgoing_;
  std::vector<uint8_t> incoming_;
  FrameAssembler assembler_;
  sockaddr_in peer_{};
  bool peer_known_ = false;  // kept across reconnections
  Clock::time_point last_sent_{};
};

}  // namespace

unsigned WireGuardTcpBridge::RelayLoop(RelayContext* context) {
  std::unique_ptr<RelayContext> owned(context);
  if (!owned->udp_socket) {
    uint64_t expected = owned->run_id;
    owned->running->compare_exchange_strong(expected, 0);
    return 1;
  }
  unsigned exit_code = Relay(*owned).Run();
  return exit_code;  // `owned` closes the UDP socket
}

}  // namespace duzavide
