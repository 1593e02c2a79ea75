#include "bench/bridge/echo_peers.h"

#include <ws2tcpip.h>

#include <vector>

#include "bridge/frame_assembler.h"

namespace duzavide {
namespace {

constexpr DWORD kPollMs = 200;  // how often the echo threads look at their stop flag

UniqueSocket BindLoopback(int type, int protocol, uint16_t* port) {
  UniqueSocket socket(::socket(AF_INET, type, protocol));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  if (!socket ||
      ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return UniqueSocket();
  }
  *port = ntohs(address.sin_port);
  DWORD timeout = kPollMs;
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
  return socket;
}

bool WaitReadable(SOCKET socket) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval wait{0, static_cast<long>(kPollMs * 1000)};
  return ::select(0, &readable, nullptr, nullptr, &wait) == 1;
}

bool WriteAll(SOCKET socket, const uint8_t* data, size_t size) {
  while (size > 0) {
    int sent = ::send(socket, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

UdpEcho::UdpEcho() {
  socket_ = BindLoopback(SOCK_DGRAM, IPPROTO_UDP, &port_);
  if (socket_) thread_ = std::thread([this] { Run(); });
}

UdpEcho::~UdpEcho() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void UdpEcho::Run() {
  std::vector<char> buffer(65536);
  while (!stop_) {
    sockaddr_in source{};
    int source_size = sizeof(source);
    int size = ::recvfrom(socket_.Get(), buffer.data(), static_cast<int>(buffer.size()), 0,
                          reinterpret_cast<sockaddr*>(&source), &source_size);
    if (size <= 0) continue;
    ::sendto(socket_.Get(), buffer.data(), size, 0, reinterpret_cast<sockaddr*>(&source),
             source_size);
  }
}

FrameEchoCore::FrameEchoCore() {
  listener_ = BindLoopback(SOCK_STREAM, IPPROTO_TCP, &port_);
  if (listener_ && ::listen(listener_.Get(), 4) != 0) listener_.Reset();
  if (listener_) thread_ = std::thread([this] { Run(); });
}

FrameEchoCore::~FrameEchoCore() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void FrameEchoCore::Run() {
  while (!stop_) {
    if (!WaitReadable(listener_.Get())) continue;
    UniqueSocket stream(::accept(listener_.Get(), nullptr, nullptr));
    if (!stream) continue;
    BOOL on = TRUE;
    ::setsockopt(stream.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof(on));
    DWORD timeout = kPollMs;
    ::setsockopt(stream.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof(timeout));
    Serve(stream.Get());
  }
}

void FrameEchoCore::Serve(SOCKET stream) {
  std::vector<uint8_t> buffer(256 * 1024);
  std::vector<uint8_t> reply;
  FrameAssembler assembler;
  while (!stop_) {
    int size =
        ::recv(stream, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
    if (size == SOCKET_ERROR && ::WSAGetLastError() == WSAETIMEDOUT) continue;
    if (size <= 0) return;
    reply.clear();
    assembler.Feed(buffer.data(), static_cast<size_t>(size),
                   [&](const uint8_t* payload, size_t length) {
                     if (length == 0) return;  // keepalives are not echoed
                     size_t at = reply.size();
                     reply.resize(at + kFrameHeaderSize + length);
                     WriteFrameHeader(reply.data() + at, length);
                     std::copy(payload, payload + length, reply.begin() + at + kFrameHeaderSize);
                   });
    if (!reply.empty() && !WriteAll(stream, reply.data(), reply.size())) return;
  }
}

}  // namespace duzavide
