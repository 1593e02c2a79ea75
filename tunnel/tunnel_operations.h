// What the control channel asks of the tunnel: the operations behind its methods.
// TunnelSession carries them out; the tunnel controller puts its policies (the
// request it keeps, recovery) in front of the session through the same interface.
#ifndef TUNNEL_TUNNEL_OPERATIONS_H_
#define TUNNEL_TUNNEL_OPERATIONS_H_

#include <string>

#include "config/connect_request.h"
#include "tunnel/traffic_counters.h"

namespace duzavide {

class TunnelOperations {
 public:
  virtual ~TunnelOperations() = default;

  // True when the tunnel runs, already or newly.
  virtual bool Connect(const ConnectRequest& request) = 0;
  virtual void Disconnect() = 0;
  virtual bool IsConnected() = 0;
  // The core's output since the last call, as UTF-8.
  virtual std::string TakeLog() = 0;
  virtual TrafficCounters ReadTrafficCounters() = 0;
};

}  // namespace duzavide

#endif  // TUNNEL_TUNNEL_OPERATIONS_H_
