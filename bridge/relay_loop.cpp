// The relay thread of WireGuardTcpBridge.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "base/ipv4_text.h"
#include "bridge/datagram_peer.h"
#include "bridge/frame_assembler.h"
#include "bridge/local_sources.h"
#include "bridge/private_socket.h"
#include "bridge/relay_context.h"
#include "bridge/wireguard_message.h"
#include "bridge/wireguard_tcp_bridge.h"

namespace duzavide {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kConnectedLine[] = "[bridge] WireGuard TCP transport connected";
constexpr char kDroppedLinePrefix[] = "[bridge] dropped a datagram from ";
constexpr char kDroppedLineSuffix[] = " -- not an address of this machine";
constexpr char kSilenceLinePrefix[] = "[bridge] no answer from the relay for ";
// Every wait ends after this long at the latest, so that the flag and the keepalive
// timer are looked at at least once a second whatever happens.
constexpr milliseconds kMaxWait{1000};
constexpr milliseconds kReconnectPause{1000};
constexpr size_t kStreamReadSize = 65536;
// Ready datagrams are framed back to back and written with one send. A batch stops
// taking datagrams once it holds this many bytes or datagrams.
constexpr size_t kBatchBytes = 65536;
constexpr int kBatchDatagrams = 64;

// Send errors that mean the bound address no longer works, rather than a lost
// datagram.
bool AddressUnusable(int error) {
  return error == WSAEADDRNOTAVAIL || error == WSAENETDOWN || error == WSAENETUNREACH ||
         error == WSAEHOSTUNREACH;
}

// `duration` as a wait time, from 0 to kMaxWait.
DWORD WaitTime(milliseconds duration) {
  return static_cast<DWORD>(std::clamp<milliseconds::rep>(duration.count(), 0, kMaxWait.count()));
}

// The relay waits only on events: the run's wake event, which StopBridge sets, and
// the events that Windows Sockets sets for the two sockets. A wake-up costs one
// wait and the reads and writes it calls for; no call on a socket blocks, so a stop
// ends any wait at once.
class Relay {
 public:
  explicit Relay(RelayContext& context)
      : context_(context),
        outgoing_(kBatchBytes + kFrameHeaderSize + kMaxFramePayload),
        incoming_(kStreamReadSize),
        sources_(context.local_address, context.read_local_ranges),
        peer_([this](in_addr source) { return sources_.Contains(source, Clock::now()); }) {}

  void Run() {
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
  }

 private:
  enum class Woken { kStop, kStream, kDatagrams, kTimeout, kFailed };

  // Waits at most `timeout` ms for the wake event, the stream's event and, when
  // asked, the datagram socket's event. When several are set, one is reported and
  // the others stay set for the next wait; the stop comes first, and the two
  // sockets take turns, so that neither direction can starve the other.
  Woken Wait(bool datagrams_too, DWORD timeout) {
    const bool datagrams_first = datagrams_too && last_woken_ == Woken::kStream;
    const HANDLE stream = context_.tcp_event.Get();
    const HANDLE datagrams = context_.udp_event.Get();
    const HANDLE events[] = {context_.wake_event.Get(), datagrams_first ? datagrams : stream,
                             datagrams_first ? stream : datagrams};
    const DWORD result = ::WaitForMultipleObjects(datagrams_too ? 3 : 2, events, FALSE, timeout);
    if (result == WAIT_OBJECT_0) return Woken::kStop;
    if (result == WAIT_TIMEOUT) return Woken::kTimeout;
    if (result != WAIT_OBJECT_0 + 1 && result != WAIT_OBJECT_0 + 2) return Woken::kFailed;
    last_woken_ = events[result - WAIT_OBJECT_0] == stream ? Woken::kStream : Woken::kDatagrams;
    return last_woken_;
  }

  // Waits out the reconnect pause, cut short when the bridge stops.
  void Pause() { ::WaitForSingleObject(context_.wake_event.Get(), WaitTime(kReconnectPause)); }

  bool Connect() {
    UniqueSocket tcp = OpenPrivateSocket(SOCK_STREAM, IPPROTO_TCP);
    if (!tcp) return false;
    BOOL on = TRUE;
    ::setsockopt(tcp.Get(), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on),
                 sizeof(on));
    ::setsockopt(tcp.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof(on));
    // Readiness comes as events from here on, which also makes the socket
    // non-blocking: neither a refused or unanswered connect nor a stream that the
    // core does not read can hold the thread past a stop.
    if (::WSAEventSelect(tcp.Get(), context_.tcp_event.Get(),
                         FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
      return false;
    }
    if (!ConnectWhileRunning(tcp.Get())) return false;
    tcp_ = tcp.Release();
    // Publishing fails only while a relay of an earlier run still holds the slot;
    // the connection then merely misses StopBridge's shutdown, and the wake event
    // ends the waits anyway.
    context_.tcp_socket->Publish(tcp_);
    // StopBridge clears the flag before it looks for a socket to shut down; if it
    // looked before the socket was published, the flag is already clear here.
    if (!context_.IsRunning()) return true;
    assembler_.Clear();
    last_sent_ = Clock::now();
    awaiting_answer_ = false;
    if (context_.line_observer) context_.line_observer(kConnectedLine);
    // Readiness announced while connecting, or while no connection was open, may
    // have been taken by a wait that did not act on it: look at both sockets once.
    ::SetEvent(context_.tcp_event.Get());
    ::SetEvent(context_.udp_event.Get());
    return true;
  }

  // Connects the non-blocking `tcp` to the core's port. False when the connect fails
  // or the bridge stops while it is pending.
  bool ConnectWhileRunning(SOCKET tcp) {
    sockaddr_in core{};
    core.sin_family = AF_INET;
    core.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    core.sin_port = htons(context_.core_tcp_port);
    if (::connect(tcp, reinterpret_cast<const sockaddr*>(&core), sizeof(core)) == 0) return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    while (context_.IsRunning()) {
      const Woken woken = Wait(false, WaitTime(kMaxWait));
      if (woken == Woken::kTimeout) continue;
      if (woken != Woken::kStream) return false;
      WSANETWORKEVENTS events{};
      if (::WSAEnumNetworkEvents(tcp, context_.tcp_event.Get(), &events) != 0) return false;
      if ((events.lNetworkEvents & FD_CONNECT) == 0) continue;
      return events.iErrorCode[FD_CONNECT_BIT] == 0;
    }
    return false;
  }

  void CloseConnection() {
    if (tcp_ == INVALID_SOCKET) return;
    context_.tcp_socket->Withdraw(tcp_);
    ::shutdown(tcp_, SD_BOTH);
    ::closesocket(tcp_);
    tcp_ = INVALID_SOCKET;
    assembler_.Clear();
  }

  // One wait and what follows it. False when the connection must be rebuilt.
  bool Pass() {
    const auto since_sent = std::chrono::duration_cast<milliseconds>(Clock::now() - last_sent_);
    const Woken previous = last_woken_;
    switch (Wait(true, WaitTime(context_.keepalive_interval - since_sent))) {
      case Woken::kStop:
        return true;  // the loop sees the flag
      case Woken::kStream:
        if (!ReturnFrames()) return false;
        break;
      case Woken::kDatagrams: {
        // Datagrams announced back to back, or while the stream returns several
        // frames per read, mean a burst worth draining; a lone datagram is not
        // worth asking after.
        const bool burst = previous == Woken::kDatagrams || frames_in_last_read_ > 1;
        if (!ForwardDatagrams(burst)) return false;
        break;
      }
      case Woken::kTimeout:
        break;
      case Woken::kFailed:
        return false;
    }
    ReportSilence();
    if (Clock::now() - last_sent_ >= context_.keepalive_interval) {
      static const uint8_t kKeepalive[2] = {0, 0};
      if (!SendToCore(kKeepalive, sizeof(kKeepalive))) return false;
      last_sent_ = Clock::now();
    }
    return true;
  }

  // Reads the ready datagram and, in a `burst`, every other one that is ready (up
  // to one batch); frames the accepted ones back to back and writes them with one
  // send.
  bool ForwardDatagrams(bool burst) {
    const SOCKET udp = context_.udp_socket.Get();
    size_t used = 0;
    bool draining = false;
    bool awaits_answer = false;
    for (int reads = 0; reads < kBatchDatagrams && used < kBatchBytes; ++reads) {
      uint8_t* frame = outgoing_.data() + used;
      sockaddr_in source{};
      int source_size = sizeof(source);
      int size = ::recvfrom(udp, reinterpret_cast<char*>(frame + kFrameHeaderSize),
                            static_cast<int>(kMaxFramePayload), 0,
                            reinterpret_cast<sockaddr*>(&source), &source_size);
      if (size == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) break;
      // Any other failed read loses that datagram only.
      if (size > 0) {
        if (peer_.Accept(source, source_size)) {
          WriteFrameHeader(frame, static_cast<size_t>(size));
          used += kFrameHeaderSize + static_cast<size_t>(size);
          awaits_answer |= CallsForAnAnswer(frame + kFrameHeaderSize, static_cast<size_t>(size));
        } else {
          ReportDropped(source);
        }
      }
      if (!burst) break;
      if (!draining) {
        // Asking whether another datagram waits costs less than a read that finds
        // none. Once one does, reading on until a read finds none is cheaper than
        // asking each time.
        u_long waiting = 0;
        if (::ioctlsocket(udp, FIONREAD, &waiting) != 0 || waiting == 0) break;
        draining = true;
      }
    }
    if (used == 0) return true;
    if (!SendToCore(outgoing_.data(), used)) return false;
    last_sent_ = Clock::now();
    // Keepalives go unanswered by a healthy peer: only what calls for an answer
    // starts the wait for one.
    if (awaits_answer && !awaiting_answer_) {
      awaiting_answer_ = true;
      awaiting_since_ = last_sent_;
    }
    return true;
  }

  // Says once per silence that datagrams calling for an answer went to the relay
  // and nothing came back for the silence limit, and tells the controller, which
  // connects again.
  void ReportSilence() {
    if (!awaiting_answer_ || silence_reported_) return;
    if (Clock::now() - awaiting_since_ < context_.silence_limit) return;
    silence_reported_ = true;
    if (context_.line_observer) {
      const auto seconds =
          std::chrono::duration_cast<std::chrono::seconds>(context_.silence_limit).count();
      context_.line_observer(kSilenceLinePrefix + std::to_string(seconds) + " s");
    }
    if (context_.relay_silence) context_.relay_silence();
  }

  // Tells the first stranger of the run: one line, so a flood cannot fill the log,
  // and enough to see why a tunnel carries nothing.
  void ReportDropped(const sockaddr_in& source) {
    if (reported_drop_ || !context_.line_observer) return;
    reported_drop_ = true;
    context_.line_observer(std::string(kDroppedLinePrefix) +
                           DottedIPv4(ntohl(source.sin_addr.s_addr)) + ":" +
                           std::to_string(ntohs(source.sin_port)) + kDroppedLineSuffix);
  }

  // Writes all bytes to the stream, repeating partial writes. False when a write
  // fails or returns zero, or when the bridge stops while the stream is full.
  bool SendToCore(const uint8_t* data, size_t size) {
    bool waited = false;
    while (size > 0) {
      int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
      int sent = ::send(tcp_, reinterpret_cast<const char*>(data), chunk, 0);
      if (sent > 0) {
        data += sent;
        size -= static_cast<size_t>(sent);
        continue;
      }
      if (sent == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK || !context_.IsRunning()) return false;
      // The refused send asks Windows Sockets for FD_WRITE, which sets the stream's
      // event once there is room. A failed stream shows in the next send.
      const Woken woken = Wait(false, WaitTime(kMaxWait));
      if (woken == Woken::kStop || woken == Woken::kFailed) return false;
      waited = true;
    }
    // A wait here may have taken the event that announced returning frames.
    if (waited) ::SetEvent(context_.tcp_event.Get());
    return true;
  }

  bool ReturnFrames() {
    int size = ::recv(tcp_, reinterpret_cast<char*>(incoming_.data()),
                      static_cast<int>(incoming_.size()), 0);
    // The stream's event also announces room to write; then there is nothing to read.
    if (size == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return true;
    if (size <= 0) return false;  // closed by the core, or failed
    frames_in_last_read_ = 0;
    const SOCKET udp = context_.udp_socket.Get();
    assembler_.Feed(
        incoming_.data(), static_cast<size_t>(size), [&](const uint8_t* payload, size_t length) {
          ++frames_in_last_read_;
          awaiting_answer_ = false;
          silence_reported_ = false;
          if (length == 0 || !peer_.known()) return;
          // A lost returning datagram is WireGuard's to recover; an address that no
          // longer works is the tunnel controller's to hear about.
          if (::sendto(udp, reinterpret_cast<const char*>(payload), static_cast<int>(length), 0,
                       reinterpret_cast<const sockaddr*>(&peer_.address()),
                       sizeof(sockaddr_in)) != SOCKET_ERROR) {
            address_trouble_reported_ = false;
          } else if (AddressUnusable(::WSAGetLastError())) {
            ReportAddressTrouble();
          }
        });
    return true;
  }

  // Once until a send works again: the controller needs to hear it, not count it.
  void ReportAddressTrouble() {
    if (address_trouble_reported_) return;
    address_trouble_reported_ = true;
    if (context_.address_trouble) context_.address_trouble();
  }

  RelayContext& context_;
  SOCKET tcp_ = INVALID_SOCKET;  // owned; closed by CloseConnection
  std::vector<uint8_t> outgoing_;
  std::vector<uint8_t> incoming_;
  FrameAssembler assembler_;
  LocalSources sources_;
  DatagramPeer peer_;  // kept across reconnections
  Clock::time_point last_sent_{};
  Woken last_woken_ = Woken::kTimeout;  // the socket the last wait reported
  int frames_in_last_read_ = 0;         // frames completed by the last stream read
  bool reported_drop_ = false;
  // Datagrams went to the stream since the last frame came back, the first at
  // `awaiting_since_`.
  bool awaiting_answer_ = false;
  Clock::time_point awaiting_since_{};
  bool silence_reported_ = false;
  bool address_trouble_reported_ = false;
};

}  // namespace

void WireGuardTcpBridge::RelayLoop(RelayContext& context) { Relay(context).Run(); }

}  // namespace duzavide
