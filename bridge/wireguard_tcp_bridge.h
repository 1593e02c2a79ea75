// WireGuardTcpBridge relays WireGuard datagrams between a UDP socket and a framed
// TCP stream into the proxy core.
//
// The core's WireGuard outbound sends its datagrams to the bridge's UDP socket
// (bound to `local_address`, port chosen by the system). A relay thread connects to
// the core's TCP inbound on 127.0.0.1 and writes each datagram as one frame: a 2-byte
// big-endian length followed by the payload. Frames coming back are delivered as
// datagrams to the sender of the most recent accepted datagram. Only datagrams from
// this machine are accepted (LocalSources): the bridge's own address, 127.0.0.0/8
// and the machine's other IPv4 unicast addresses. Anything else is read and
// dropped; the first such datagram of each run is reported with one line
// "[bridge] dropped a datagram from <address>:<port> -- not an address of this
// machine".
//
// The relay also says "[bridge] no answer from the relay for 25 s" once per
// silence, when datagrams that call for an answer (a handshake, data; not a
// keepalive, which a healthy peer leaves unanswered) went to the core's stream and
// no frame came back for that long (the silence limit), and calls the silence
// observer; it calls the address-trouble observer when the socket's sends fail
// because its address stopped working.
//
// The limit, 25 s: a live WireGuard peer answers data within its passive
// keepalive time (10 s), and when it does not, the sender starts a handshake 5 s
// later and repeats it every 5 s, which a live peer answers at once. Silence
// through two handshake attempts after that (10 + 5 + 2 x 5 s) is a dead relay,
// while an idle tunnel, sending only keepalives, never trips it.
//
// Threads: StartBridge runs on the owner's thread. StopBridge may run on the owner's
// thread and on another thread at the same time; exactly one of them waits for the
// relay thread and releases its handle. The line observer is called on the relay
// thread. Windows Sockets must already be started by the owner.
//
// A relay thread that outlives StopBridge's bounded wait touches only state it
// co-owns (its own sockets and the shared flag and socket slot below), so it never
// disturbs a bridge started after it, nor memory of a destroyed bridge.
#ifndef BRIDGE_WIREGUARD_TCP_BRIDGE_H_
#define BRIDGE_WIREGUARD_TCP_BRIDGE_H_

#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/line_sink.h"
#include "base/run_token.h"
#include "bridge/local_sources.h"
#include "bridge/published_socket.h"

namespace duzavide {

struct RelayContext;

class WireGuardTcpBridge {
 public:
  // `line_observer` may be empty. `keepalive_interval` is the time without outgoing
  // frames after which an empty frame is written to keep the stream alive.
  // `read_local_ranges` names this machine's addresses besides the bound one; it is
  // called on the relay thread. `silence_limit` is how long datagrams may go to the
  // core's stream with nothing coming back before the relay says so.
  explicit WireGuardTcpBridge(
      LineSink line_observer,
      std::chrono::milliseconds keepalive_interval = std::chrono::seconds(15),
      IPv4RangeReader read_local_ranges = ReadThisMachineRanges,
      std::chrono::milliseconds silence_limit = std::chrono::seconds(25));
  ~WireGuardTcpBridge();  // StopBridge

  WireGuardTcpBridge(const WireGuardTcpBridge&) = delete;
  WireGuardTcpBridge& operator=(const WireGuardTcpBridge&) = delete;

  // Stops any running bridge, binds a UDP socket exclusively (no other socket may
  // share the address and port) to `local_address` (dotted IPv4) on a port chosen
  // by the system and starts the relay thread towards 127.0.0.1 at
  // `core_tcp_port`. Returns after a 300 ms grace period (cut short when the cancel
  // event is set, which fails the start); on false no thread or socket is left
  // behind, and `failure` (if given) says what went wrong.
  bool StartBridge(const std::string& local_address, uint16_t core_tcp_port,
                   std::string* failure = nullptr);

  // Called on the relay thread when sending a datagram fails because the bound
  // address no longer works (it was removed, or its network went down). Owner's
  // thread, before StartBridge.
  void SetAddressTroubleObserver(std::function<void()> observer) {
    address_trouble_ = std::move(observer);
  }

  // Called on the relay thread once per silence of the relay. Owner's thread,
  // before StartBridge.
  void SetRelaySilenceObserver(std::function<void()> observer) {
    relay_silence_ = std::move(observer);
  }

  // A manual-reset event that, once set, cuts StartBridge's grace period short.
  // Not owned; it must outlive the bridge. Owner's thread, before StartBridge.
  void SetCancelEvent(HANDLE cancel) { cancel_ = cancel; }

  // Stops the relay: wakes it, waits for it up to 3,000 ms, releases the thread and
  // resets the sockets and ports. Safe to repeat, and from two threads at once.
  void StopBridge();

  bool IsRunning() const { return running_.active(); }
  const std::string& local_address() const { return local_address_; }
  uint16_t udp_port() const { return udp_port_.load(); }
  uint16_t tcp_port() const { return tcp_port_.load(); }

 private:
  // Body of the relay thread.
  static void RelayLoop(RelayContext& context);

  // Bridge-running flag, as the run allowed to relay. Shared with the relay
  // threads: a thread relays only while its own run is the current one.
  RunFlag running_;
  // The relay thread; taken by atomic exchange so that exactly one StopBridge
  // waits for it and closes it.
  std::atomic<HANDLE> relay_thread_{nullptr};
  // A handle of the running relay's wake event, which ends its waits at once; taken
  // by atomic exchange so that exactly one StopBridge sets it and closes it.
  std::atomic<HANDLE> wake_event_{nullptr};
  // The current connection to the core, published by the relay thread so that
  // StopBridge can shut it down. Shared with the relay threads.
  const std::shared_ptr<PublishedSocket> tcp_socket_;
  std::string local_address_;
  std::atomic<uint16_t> udp_port_{0};
  std::atomic<uint16_t> tcp_port_{0};

  const LineSink line_observer_;
  const std::chrono::milliseconds keepalive_interval_;
  const std::chrono::milliseconds silence_limit_;
  const IPv4RangeReader read_local_ranges_;
  HANDLE cancel_ = nullptr;  // not owned
  std::function<void()> address_trouble_;
  std::function<void()> relay_silence_;
};

}  // namespace duzavide

#endif  // BRIDGE_WIREGUARD_TCP_BRIDGE_H_
