// The native end of the control channel between the interface and the tunnel.
#ifndef TUNNEL_CONTROL_CHANNEL_H_
#define TUNNEL_CONTROL_CHANNEL_H_

#include <memory>

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {

inline constexpr char kControlChannelName[] = "vur.izir.uzo/vpn";

// Answers one call on the control channel against `session`, exactly once, before
// returning; never with an error. "connect" (bool; false for unusable arguments,
// which leave the session alone), "disconnect" (true), "isConnected" (bool),
// "getLog" (string), "getStats" (map of "downlinkBytes" and "uplinkBytes", 64-bit
// integers); any other name, compared byte-wise, is not implemented. Main thread;
// "connect" blocks for at least 1.3 s.
void HandleControlChannelCall(TunnelSession& session, const MethodCall& call,
                              std::unique_ptr<MethodResult> result);

}  // namespace duzavide

#endif  // TUNNEL_CONTROL_CHANNEL_H_
