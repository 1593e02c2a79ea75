// The two echo services the bridge benchmark measures against, each on its own
// thread on 127.0.0.1: a direct UDP echo, and a frame-aware TCP echo playing the
// proxy core behind the bridge (it returns every whole frame it receives, the frames
// of one read in one write).
#ifndef BENCH_BRIDGE_ECHO_PEERS_H_
#define BENCH_BRIDGE_ECHO_PEERS_H_

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "base/win_handles.h"

namespace duzavide {

class UdpEcho {
 public:
  UdpEcho();
  ~UdpEcho();
  bool ok() const { return socket_.IsValid(); }
  uint16_t port() const { return port_; }

 private:
  void Run();
  UniqueSocket socket_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class FrameEchoCore {
 public:
  FrameEchoCore();
  ~FrameEchoCore();
  bool ok() const { return listener_.IsValid(); }
  uint16_t port() const { return port_; }

 private:
  void Run();
  void Serve(SOCKET stream);
  UniqueSocket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace duzavide

#endif  // BENCH_BRIDGE_ECHO_PEERS_H_
