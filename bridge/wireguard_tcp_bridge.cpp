#include "bridge/wireguard_tcp_bridge.h"

#include <mswsock.h>

#include <optional>
#include <utility>

#include "base/ipv4_text.h"
#include "base/system_error_text.h"
#include "base/thread.h"
#include "bridge/private_socket.h"
#include "bridge/relay_context.h"

namespace duzavide {
namespace {

constexpr DWORD kStartGraceMs = 300;
constexpr DWORD kStopWaitMs = 3000;

// What went wrong with the last Windows Sockets call, for a status line.
std::string SocketFailure(const std::string& what) {
  return what + ": " + SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
}

}  // namespace

WireGuardTcpBridge::WireGuardTcpBridge(LineSink line_observer,
                                       std::chrono::milliseconds keepalive_interval,
                                       IPv4RangeReader read_local_ranges,
                                       std::chrono::milliseconds silence_limit)
    : tcp_socket_(std::make_shared<PublishedSocket>()),
      line_observer_(std::move(line_observer)),
      keepalive_interval_(keepalive_interval),
      silence_limit_(silence_limit),
      read_local_ranges_(std::move(read_local_ranges)) {}

WireGuardTcpBridge::~WireGuardTcpBridge() { StopBridge(); }

bool WireGuardTcpBridge::StartBridge(const std::string& local_address, uint16_t core_tcp_port,
                                     std::string* failure) {
  std::string ignored;
  std::string& reason = failure != nullptr ? *failure : ignored;
  StopBridge();
  local_address_ = local_address;
  tcp_port_.store(core_tcp_port);
  udp_port_.store(0);

  UniqueSocket udp = OpenPrivateSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (!udp) {
    reason = SocketFailure("the datagram socket could not be created");
    return false;
  }
  // No other program may bind the same address and port alongside and read or
  // inject the tunnel's datagrams.
  BOOL exclusive = TRUE;
  if (::setsockopt(udp.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof(exclusive)) != 0) {
    reason = SocketFailure("the datagram socket could not be made exclusive");
    return false;
  }
  sockaddr_in bind_address{};
  bind_address.sin_family = AF_INET;
  const std::optional<uint32_t> bind_ipv4 = ParseDottedIPv4(local_address);
  if (!bind_ipv4) {
    reason = "\"" + local_address + "\" is not an IPv4 address";
    return false;
  }
  bind_address.sin_addr.s_addr = htonl(*bind_ipv4);
  if (::bind(udp.Get(), reinterpret_cast<const sockaddr*>(&bind_address), sizeof(bind_address)) !=
      0) {
    reason = SocketFailure("the datagram socket could not be bound to " + local_address);
    return false;
  }
  sockaddr_in bound{};
  int bound_size = sizeof(bound);
  if (::getsockname(udp.Get(), reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
    reason = SocketFailure("the datagram socket's port could not be read");
    return false;
  }
  // The relay waits on events only: the wake event, which StopBridge sets, and the
  // sockets' readiness events (auto-reset, so that a wait takes its wake-up).
  // Selecting events also makes the UDP socket non-blocking, as the relay's reads
  // of bursts need.
  UniqueHandle wake_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle udp_event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  UniqueHandle tcp_event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HANDLE bridge_wake = nullptr;
  if (!wake_event || !udp_event || !tcp_event ||
      ::WSAEventSelect(udp.Get(), udp_event.Get(), FD_READ) != 0 ||
      !::DuplicateHandle(::GetCurrentProcess(), wake_event.Get(), ::GetCurrentProcess(),
                         &bridge_wake, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    reason = SocketFailure("the relay's events could not be set up");
    return false;
  }
  UniqueHandle owned_bridge_wake(bridge_wake);
  // Windows reports an unreachable port, met by an earlier returning datagram, as a
  // failure of the next read; that read would lose a datagram for nothing.
  BOOL report_reset = FALSE;
  DWORD unused = 0;
  ::WSAIoctl(udp.Get(), SIO_UDP_CONNRESET, &report_reset, sizeof(report_reset), nullptr, 0, &unused,
             nullptr, nullptr);

  auto context = std::make_unique<RelayContext>();
  context->tcp_socket = tcp_socket_;
  context->local_address = bind_address.sin_addr;
  context->core_tcp_port = core_tcp_port;
  context->keepalive_interval = keepalive_interval_;
  context->silence_limit = silence_limit_;
  context->read_local_ranges = read_local_ranges_;
  context->line_observer = line_observer_;
  context->address_trouble = address_trouble_;
  context->relay_silence = relay_silence_;
  context->wake_event = std::move(wake_event);
  context->udp_event = std::move(udp_event);
  context->tcp_event = std::move(tcp_event);
  context->udp_socket = std::move(udp);

  udp_port_.store(ntohs(bound.sin_port));
  const RunToken run = running_.Begin();
  context->run = run;
  // The thread's body owns the context; it goes (closing the UDP socket) when the
  // thread ends, or here if the thread never starts.
  UniqueHandle thread = StartThread(
      [context = std::shared_ptr<RelayContext>(std::move(context))] { RelayLoop(*context); });
  if (!thread) {
    reason = "the relay thread could not be started: " + LastSystemErrorText();
    run.EndIfCurrent();
    udp_port_.store(0);
    return false;  // the unrun thread body closed the UDP socket
  }
  HANDLE previous = relay_thread_.exchange(thread.Release());
  if (previous != nullptr) ::CloseHandle(previous);
  previous = wake_event_.exchange(owned_bridge_wake.Release());
  if (previous != nullptr) ::CloseHandle(previous);

  if (cancel_ != nullptr && ::WaitForSingleObject(cancel_, kStartGraceMs) == WAIT_OBJECT_0) {
    reason = "cancelled";
    StopBridge();
    return false;
  }
  if (cancel_ == nullptr) ::Sleep(kStartGraceMs);
  if (run.IsCurrent()) return true;
  reason = "the relay stopped within its first " + std::to_string(kStartGraceMs) + " ms";
  StopBridge();
  return false;
}

void WireGuardTcpBridge::StopBridge() {
  running_.End();
  HANDLE wake = wake_event_.exchange(nullptr);
  if (wake != nullptr) {
    ::SetEvent(wake);
    ::CloseHandle(wake);
  }
  tcp_socket_->ShutDown();
  HANDLE thread = relay_thread_.exchange(nullptr);
  // Reset before waiting: a StopBridge on another thread may return at once, and a
  // bridge started after it must not lose its state to this call's late writes.
  udp_port_.store(0);
  tcp_port_.store(0);
  if (thread != nullptr) {
    ::WaitForSingleObject(thread, kStopWaitMs);
    ::CloseHandle(thread);
  }
}

}  // namespace duzavide
