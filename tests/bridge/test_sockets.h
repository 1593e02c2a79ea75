// Loopback sockets that play the proxy core's side of the bridge in tests: the TCP
// inbound the bridge connects to, and the WireGuard outbound's UDP socket. Every
// wait is bounded.
#ifndef TESTS_BRIDGE_TEST_SOCKETS_H_
#define TESTS_BRIDGE_TEST_SOCKETS_H_

#include <winsock2.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/win_handles.h"

namespace duzavide {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

Bytes Frame(const Bytes& payload);
Bytes Concat(const std::vector<Bytes>& parts);
Bytes Filled(size_t size, uint8_t seed);

// True when `socket` becomes readable within `timeout`.
bool WaitReadable(SOCKET socket, milliseconds timeout);

// Connects `socket` (made non-blocking) to `address`:`port`; true when the
// connection is made within `timeout`.
bool ConnectWithin(SOCKET socket, const std::string& address, uint16_t port, milliseconds timeout);

// The core's TCP inbound on 127.0.0.1.
class TestCore {
 public:
  // Listens on a port chosen by the system, or on `port`, with `backlog`.
  explicit TestCore(uint16_t port = 0, int receive_buffer = 0, int backlog = 4);
  uint16_t port() const { return port_; }
  bool listening() const { return listener_.IsValid(); }

  // Accepts the next connection (closing any previous one).
  bool Accept(milliseconds timeout = milliseconds(3000));
  // Reads exactly `size` bytes of the current stream.
  std::optional<Bytes> Read(size_t size, milliseconds timeout = milliseconds(3000));
  bool Write(const Bytes& bytes);
  // True when nothing arrives on the stream within `timeout`.
  bool Quiet(milliseconds timeout);
  void CloseStream() { stream_.Reset(); }

 private:
  UniqueSocket listener_;
  UniqueSocket stream_;
  uint16_t port_ = 0;
};

// A UDP socket bound to `address` on a port chosen by the system.
class TestDatagramSocket {
 public:
  explicit TestDatagramSocket(const std::string& address);
  bool valid() const { return socket_.IsValid(); }
  uint16_t port() const;
  bool SendTo(const Bytes& payload, const std::string& address, uint16_t port);
  std::optional<Bytes> Receive(milliseconds timeout = milliseconds(3000));

 private:
  UniqueSocket socket_;
};

}  // namespace duzavide

#endif  // TESTS_BRIDGE_TEST_SOCKETS_H_
