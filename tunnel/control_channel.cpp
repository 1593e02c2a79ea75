#include "tunnel/control_channel.h"

#include <cstdint>
#include <string>

#include "tunnel/connect_request_decoder.h"

namespace duzavide {

void HandleControlChannelCall(TunnelSession& session, const MethodCall& call,
                              std::unique_ptr<MethodResult> result) {
  const std::string& method = call.method_name();
  if (method == "connect") {
    ConnectRequest request;
    bool valid = DecodeConnectRequest(call.arguments(), &request);
    result->Success(EncodableValue(valid && session.Connect(request)));
  } else if (method == "disconnect") {
    session.Disconnect();
    result->Success(EncodableValue(true));
  } else if (method == "isConnected") {
    result->Success(EncodableValue(session.IsConnected()));
  } else if (method == "getLog") {
    result->Success(EncodableValue(session.TakeLog()));
  } else if (method == "getStats") {
    TrafficCounters counters = session.ReadTrafficCounters();
    EncodableMap stats;
    stats[EncodableValue(std::string("downlinkBytes"))] =
        EncodableValue(static_cast<int64_t>(counters.downlink_bytes));
    stats[EncodableValue(std::string("uplinkBytes"))] =
        EncodableValue(static_cast<int64_t>(counters.uplink_bytes));
    result->Success(EncodableValue(stats));
  } else {
    result->NotImplemented();
  }
}

}  // namespace duzavide
