#include "bridge/wireguard_tcp_bridge.h"

#include <mswsock.h>
#include <process.h>

#include <utility>

#include "bridge/ipv4_text.h"
#include "bridge/private_socket.h"
#include "bridge/relay_context.h"

namespace duzavide {
namespace {

constexpr DWORD kStartGraceMs = 300;
constexpr DWORD kStopWaitMs = 3000;

}  // namespace

WireGuardTcpBridge::WireGuardTcpBridge(LineObserver line_observer,
                                       std::chrono::milliseconds keepalive_interval,
                                       IPv4RangeReader read_local_ranges)
    : running_(std::make_shared<std::atomic<uint64_t>>(0)),
      tcp_socket_(std::make_shared<PublishedSocket>()),
      line_observer_(std::move(line_observer)),
      keepalive_interval_(keepalive_interval),
      read_local_ranges_(std::move(read_local_ranges)) {}

WireGuardTcpBridge::~WireGuardTcpBridge() { StopBridge(); }

bool WireGuardTcpBridge::IsRunning() const { return running_->load() != 0; }

bool WireGuardTcpBridge::StartBridge(const std::string& local_address, uint16_t core_tcp_port) {
  StopBridge();
  local_address_ = local_address;
  tcp_port_.store(core_tcp_port);
  udp_port_.store(0);

  UniqueSocket udp = OpenPrivateSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (!udp) return false;
  sockaddr_in bind_address{};
  bind_address.sin_family = AF_INET;
  if (!ParseDottedIPv4(local_address, &bind_address.sin_addr)) return false;
  if (::bind(udp.Get(), reinterpret_cast<const sockaddr*>(&bind_address), sizeof(bind_address)) !=
      0) {
    return false;
  }
  sockaddr_in bound{};
  int bound_size = sizeof(bound);
  if (::getsockname(udp.Get(), reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
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
    return false;
  }
  UniqueHandle owned_bridge_wake(bridge_wake);
  // Windows reports an unreachable port, met by an earlier returning datagram, as a
  // failure of the next read; that read would lose a datagram for nothing.
  BOOL report_reset = FALSE;
  DWORD unused = 0;
  ::WSAIoctl(udp.Get(), SIO_UDP_CONNRESET, &report_reset, sizeof(report_reset), nullptr, 0, &unused,
             nullptr, nullptr);

  const uint64_t run_id = ++last_run_id_;
  auto context = std::make_unique<RelayContext>();
  context->running = running_;
  context->run_id = run_id;
  context->tcp_socket = tcp_socket_;
  context->local_address = bind_address.sin_addr;
  context->core_tcp_port = core_tcp_port;
  context->keepalive_interval = keepalive_interval_;
  context->read_local_ranges = read_local_ranges_;
  context->line_observer = line_observer_;
  context->wake_event = std::move(wake_event);
  context->udp_event = std::move(udp_event);
  context->tcp_event = std::move(tcp_event);
  context->udp_socket = std::move(udp);

  udp_port_.store(ntohs(bound.sin_port));
  running_->exchange(run_id);
  uintptr_t thread = ::_beginthreadex(nullptr, 0, &RelayThreadMain, context.get(), 0, nullptr);
  if (thread == 0) {
    uint64_t expected = run_id;
    running_->compare_exchange_strong(expected, 0);
    udp_port_.store(0);
    return false;  // `context` closes the UDP socket
  }
  context.release();  // the thread owns it now
  HANDLE previous = relay_thread_.exchange(reinterpret_cast<HANDLE>(thread));
  if (previous != nullptr) ::CloseHandle(previous);
  previous = wake_event_.exchange(owned_bridge_wake.Release());
  if (previous != nullptr) ::CloseHandle(previous);

  ::Sleep(kStartGraceMs);
  if (running_->load() == run_id) return true;
  StopBridge();
  return false;
}

void WireGuardTcpBridge::StopBridge() {
  running_->exchange(0);
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

unsigned __stdcall WireGuardTcpBridge::RelayThreadMain(void* context) {
  return RelayLoop(static_cast<RelayContext*>(context));
}

}  // namespace duzavide
