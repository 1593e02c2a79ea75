// What one run of the bridge's relay thread owns and shares. Internal to the bridge.
#ifndef BRIDGE_RELAY_CONTEXT_H_
#define BRIDGE_RELAY_CONTEXT_H_

#include <winsock2.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/line_sink.h"
#include "base/run_token.h"
#include "base/win_handles.h"
#include "bridge/local_sources.h"
#include "bridge/published_socket.h"

namespace duzavide {

// Created by StartBridge for each run and owned by that run's relay thread, which
// deletes it when it ends. The thread reaches the bridge only through the two
// shared objects, so it may safely outlive StopBridge and the bridge itself.
struct RelayContext {
  // This run relays while it is the bridge's current run.
  RunToken run;
  // Where the run publishes its TCP connection for StopBridge to shut down.
  std::shared_ptr<PublishedSocket> tcp_socket;
  // Manual-reset; set by StopBridge (through a handle of its own) so that every
  // wait of the relay ends at once.
  UniqueHandle wake_event;
  // Auto-reset; set by Windows Sockets when the UDP socket has a datagram
  // (FD_READ), and when the TCP connection can be read, written, has connected
  // or was closed.
  UniqueHandle udp_event;
  UniqueHandle tcp_event;
  // Bound to `local_address`, non-blocking, signalling `udp_event`; closed when
  // the context is deleted, before the events.
  UniqueSocket udp_socket;
  in_addr local_address{};
  // Which datagram sources besides `local_address` are this machine (LocalSources).
  IPv4RangeReader read_local_ranges;
  uint16_t core_tcp_port = 0;
  std::chrono::milliseconds keepalive_interval{15000};
  std::chrono::milliseconds silence_limit{25000};
  LineSink line_observer;
  std::function<void()> address_trouble;
  // Called once per silence of the relay (see ReportSilence).
  std::function<void()> relay_silence;

  bool IsRunning() const { return run.IsCurrent(); }
};

}  // namespace duzavide

#endif  // BRIDGE_RELAY_CONTEXT_H_
