#include "tests/bridge/test_sockets.h"

#include <ws2tcpip.h>

namespace duzavide {
namespace {

sockaddr_in Endpoint(const std::string& address, uint16_t port) {
  sockaddr_in endpoint{};
  endpoint.sin_family = AF_INET;
  endpoint.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &endpoint.sin_addr);
  return endpoint;
}

}  // namespace

Bytes Frame(const Bytes& payload) {
  Bytes frame{static_cast<uint8_t>(payload.size() >> 8), static_cast<uint8_t>(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Filled(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

bool WaitReadable(SOCKET socket, milliseconds timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval wait{static_cast<long>(timeout.count() / 1000),
               static_cast<long>((timeout.count() % 1000) * 1000)};
  return ::select(0, &readable, nullptr, nullptr, &wait) == 1;
}

bool ConnectWithin(SOCKET socket, const std::string& address, uint16_t port, milliseconds timeout) {
  u_long non_blocking = 1;
  sockaddr_in target = Endpoint(address, port);
  if (::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) return false;
  if (::connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) return true;
  if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(socket, &writable);
  timeval wait{static_cast<long>(timeout.count() / 1000),
               static_cast<long>((timeout.count() % 1000) * 1000)};
  return ::select(0, nullptr, &writable, nullptr, &wait) == 1;
}

TestCore::TestCore(uint16_t port, int receive_buffer, int backlog) {
  UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener) return;
  if (receive_buffer > 0) {
    // Inherited by accepted sockets; lets a test fill the stream quickly.
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_RCVBUF,
                 reinterpret_cast<const char*>(&receive_buffer), sizeof(receive_buffer));
  }
  sockaddr_in address = Endpoint("127.0.0.1", port);
  int size = sizeof(address);
  if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener.Get(), backlog) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  listener_ = std::move(listener);
}

bool TestCore::Accept(milliseconds timeout) {
  stream_.Reset();
  if (!listener_ || !WaitReadable(listener_.Get(), timeout)) return false;
  stream_.Reset(::accept(listener_.Get(), nullptr, nullptr));
  return stream_.IsValid();
}

std::optional<Bytes> TestCore::Read(size_t size, milliseconds timeout) {
  Bytes bytes(size);
  size_t have = 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (have < size) {
    auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(stream_.Get(), left)) return std::nullopt;
    int got = ::recv(stream_.Get(), reinterpret_cast<char*>(bytes.data() + have),
                     static_cast<int>(size - have), 0);
    if (got <= 0) return std::nullopt;
    have += static_cast<size_t>(got);
  }
  return bytes;
}

bool TestCore::Write(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    int sent = ::send(stream_.Get(), reinterpret_cast<const char*>(bytes.data() + done),
                      static_cast<int>(bytes.size() - done), 0);
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

bool TestCore::Quiet(milliseconds timeout) { return !WaitReadable(stream_.Get(), timeout); }

TestDatagramSocket::TestDatagramSocket(const std::string& address) {
  UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in endpoint = Endpoint(address, 0);
  if (socket &&
      ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&endpoint), sizeof(endpoint)) == 0) {
    socket_ = std::move(socket);
  }
}

uint16_t TestDatagramSocket::port() const {
  sockaddr_in bound{};
  int size = sizeof(bound);
  if (::getsockname(socket_.Get(), reinterpret_cast<sockaddr*>(&bound), &size) != 0) return 0;
  return ntohs(bound.sin_port);
}

bool TestDatagramSocket::SendTo(const Bytes& payload, const std::string& address, uint16_t port) {
  sockaddr_in target = Endpoint(address, port);
  return ::sendto(socket_.Get(), reinterpret_cast<const char*>(payload.data()),
                  static_cast<int>(payload.size()), 0, reinterpret_cast<sockaddr*>(&target),
                  sizeof(target)) == static_cast<int>(payload.size());
}

std::optional<Bytes> TestDatagramSocket::Receive(milliseconds timeout) {
  if (!WaitReadable(socket_.Get(), timeout)) return std::nullopt;
  Bytes buffer(65536);
  int got = ::recv(socket_.Get(), reinterpret_cast<char*>(buffer.data()),
                   static_cast<int>(buffer.size()), 0);
  if (got < 0) return std::nullopt;
  buffer.resize(static_cast<size_t>(got));
  return buffer;
}

}  // namespace duzavide
