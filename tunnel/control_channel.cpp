#include "tunnel/control_channel.h"

#include <cstdint>
#include <string>

#include "tunnel/connect_request_decoder.h"

namespace duzavide {

ControlChannelReply RunControlChannelCall(TunnelSession& session, const MethodCall& call) {
  ControlChannelReply reply;
  const std::string& method = call.method_name();
  if (method == "connect") {
    ConnectRequest request;
    bool valid = DecodeConnectRequest(call.arguments(), &request);
    reply.value = EncodableValue(valid && session.Connect(request));
  } else if (method == "disconnect") {
    session.Disconnect();
    reply.value = EncodableValue(true);
  } else if (method == "isConnected") {
    reply.value = EncodableValue(session.IsConnected());
  } else if (method == "getLog") {
    reply.value = EncodableValue(session.TakeLog());
  } else if (method == "getStats") {
    TrafficCounters counters = session.ReadTrafficCounters();
    EncodableMap stats;
    stats[EncodableValue(std::string("downlinkBytes"))] =
        EncodableValue(static_cast<int64_t>(counters.downlink_bytes));
    stats[EncodableValue(std::string("uplinkBytes"))] =
        EncodableValue(static_cast<int64_t>(counters.uplink_bytes));
    reply.value = EncodableValue(stats);
  } else {
    reply.implemented = false;
  }
  return reply;
}

void SendControlChannelReply(const ControlChannelReply& reply, MethodResult& result) {
  if (reply.implemented) {
    result.Success(reply.value);
  } else {
    result.NotImplemented();
  }
}

void HandleControlChannelCall(TunnelSession& session, const MethodCall& call,
                              std::unique_ptr<MethodResult> result) {
  SendControlChannelReply(RunControlChannelCall(session, call), *result);
}

}  // namespace duzavide
