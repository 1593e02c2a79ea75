// The native end of the control channel between the interface and the tunnel.
#ifndef TUNNEL_CONTROL_CHANNEL_H_
#define TUNNEL_CONTROL_CHANNEL_H_

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "tunnel/tunnel_operations.h"

namespace duzavide {

inline constexpr char kControlChannelName[] = "vur.izir.uzo/vpn";

// The answer to one call, computed apart from the result that sends it, so that
// the operation and the reply can run on different threads.
struct ControlChannelReply {
  // False: the method does not exist (the empty reply).
  bool implemented = true;
  EncodableValue value;
};

// Runs one call against `tunnel` and returns its answer, never an error:
// "connect" (bool; false for unusable arguments, which leave the tunnel alone),
// "disconnect" (true), "isConnected" (bool), "getLog" (string), "getStats" (map of
// "downlinkBytes" and "uplinkBytes", 64-bit integers); any other name, compared
// byte-wise, is not implemented. Must run where the tunnel's operations may run
// (the tunnel controller's thread); "connect" takes at least 1.3 s.
ControlChannelReply RunControlChannelCall(TunnelOperations& tunnel, const MethodCall& call);

// Sends `reply` through `result`, exactly once, on the thread that may use the
// engine's messenger.
void SendControlChannelReply(const ControlChannelReply& reply, MethodResult& result);

}  // namespace duzavide

#endif  // TUNNEL_CONTROL_CHANNEL_H_
