// Arbitrary bytes decoded to a value tree, then read as the arguments of
// "connect". The decoder must never crash, must call a request usable exactly
// when its three required texts arrived, and must keep only non-empty DNS texts.
// A usable request then goes through the configuration writer, whose document
// must name the request's values (config_round_trip.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/line_sink.h"
#include "channel/byte_streams.h"
#include "channel/standard_codec_serializer.h"
#include "fuzz/tunnel/config_round_trip.h"
#include "tunnel/connect_request_decoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Damaged input makes the codec write a line per failed read; nobody reads them.
  duzavide::SetLineSink([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  duzavide::ByteBufferStreamReader stream(data, size);
  const duzavide::EncodableValue arguments =
      duzavide::StandardCodecSerializer::GetInstance().ReadValue(&stream);
  duzavide::ConnectRequest request;
  const bool usable = duzavide::DecodeConnectRequest(&arguments, &request);
  if (usable != (!request.vlessUrl.empty() && !request.private_key.empty() &&
                 !request.server_public_key.empty())) {
    std::abort();
  }
  for (const auto& [host, addresses] : request.dns_hosts) {
    if (host.empty() || addresses.empty()) std::abort();
    for (const auto& address : addresses) {
      if (address.empty()) std::abort();
    }
  }
  for (const auto& server : request.dns_servers) {
    if (server.empty()) std::abort();
  }
  if (usable && !duzavide::fuzzing::ConfigurationNamesRequest(request)) std::abort();
  return 0;
}
