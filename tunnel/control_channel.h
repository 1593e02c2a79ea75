// The native end of the control channel between the interface and the tunnel.
#ifndef TUNNEL_CONTROL_CHANNEL_H_
#define TUNNEL_CONTROL_CHANNEL_H_

#include <memory>

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {

inline constexpr char kControlChannelName[] = "vur.izir.uzo/vpn";

// The answer to one call, computed apart from the result that sends it, so that
// the operation and the reply can run on different threads.
struct ControlChannelReply {
  // False: the method does not exist (the empty reply).
  bool implemented = true;
  EncodableValue value;
};

// Runs one call against `session` and returns its answer (see below). Must run
// where the session's operations may run; "connect" takes at least 1.3 s.
ControlChannelReply RunControlChannelCall(TunnelSession& session, const MethodCall& call);

// Sends `reply` through `result`, on the thread that may use the engine's messenger.
void SendControlChannelReply(const ControlChannelReply& reply, MethodResult& result);

// Answers one call on the control channel against `session`, exactly once, before
// returning; never with an error. "connect" (bool; false for unusable arguments,
// which leave the session alone), "disconnect" (true), "isConnected" (bool),
// "getLog" (string), "getStats" (map of "downlinkBytes" and "uplinkBytes", 64-bit
// integers); any other name, compared byte-wise, is not implemented. The two
// halves above, run on one thread.
void HandleControlChannelCall(TunnelSession& session, const MethodCall& call,
                              std::unique_ptr<MethodResult> result);

}  // namespace duzavide

#endif  // TUNNEL_CONTROL_CHANNEL_H_
