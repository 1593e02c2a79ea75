// The core output reader thread: drains the core's pipe into the session log and
// the line observer, and notices the end of the core.
#ifndef TUNNEL_CORE_OUTPUT_READER_H_
#define TUNNEL_CORE_OUTPUT_READER_H_

#include <memory>

#include "base/run_token.h"
#include "base/win_handles.h"
#include "bridge/wireguard_tcp_bridge.h"
#include "tunnel/session_log.h"
#include "tunnel/session_observers.h"

namespace duzavide {

// What one reader thread holds: its own share of everything it touches, so it may
// outlive the session that started it.
struct CoreOutputRun {
  std::shared_ptr<UniqueHandle> pipe;  // the read end
  std::shared_ptr<SessionLog> log;
  std::shared_ptr<const SessionObservers> observers;
  std::shared_ptr<WireGuardTcpBridge> bridge;
  // The core-running flag's run: cleared by whoever notices the end first.
  RunToken core;
  // Current until Disconnect gives up on this reader; after that the reader
  // changes nothing.
  RunToken reader;
};

// Body of the reader thread. Reads until the pipe ends, appending each chunk to
// the log and passing its lines to the line observer. At the end, if this run's
// core was still the running one, stops the bridge and sends "[xray] process
// exited unexpectedly" and the stopped notice.
void ReadCoreOutput(const CoreOutputRun& run);

}  // namespace duzavide

#endif  // TUNNEL_CORE_OUTPUT_READER_H_
