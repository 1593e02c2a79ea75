// Decoding the arguments of a "connect" call into a ConnectRequest.
#ifndef TUNNEL_CONNECT_REQUEST_DECODER_H_
#define TUNNEL_CONNECT_REQUEST_DECODER_H_

#include "channel/encodable_value.h"
#include "config/connect_request.h"

namespace duzavide {

// Fills `request` from `arguments` (may be null). Every field not given as the
// expected kind keeps its default; integers keep their low 16 bits. Returns whether
// the request is usable: "vlessUrl", "private_key" and "server_public_key" all
// non-empty.
bool DecodeConnectRequest(const EncodableValue* arguments, ConnectRequest* request);

}  // namespace duzavide

#endif  // TUNNEL_CONNECT_REQUEST_DECODER_H_
