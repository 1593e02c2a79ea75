#include "tunnel/control_channel.h"

#include <cstdint>
#include <string>

#include "tunnel/connect_request_decoder.h"

namespace duzavide {

ControlChannelReply RunControlChannelCall(TunnelOperations& tunnel, const MethodCall& call) {
  ControlChannelReply reply;
  const std::string& method = call.method_name();
  if (method == "connect") {
    ConnectRequest request;
    bool valid = DecodeConnectRequest(call.arguments(), &request);
    reply.value = EncodableValue(valid && tunnel.Connect(request));
  } else if (method == "disconnect") {
    tunnel.Disconnect();
    reply.value = EncodableValue(true);
  } else if (method == "isConnected") {
    reply.value = EncodableValue(tunnel.IsConnected());
  } else if (method == "getLog") {
    reply.value = EncodableValue(tunnel.TakeLog());
  } else if (method == "getStats") {
    TrafficCounters counters = tunnel.ReadTrafficCounters();
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

}  // namespace duzavide
