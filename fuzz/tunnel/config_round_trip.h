// The configuration writer's half of connect_fuzz, built without coverage
// feedback: it checks what the decoder under test produced and must not steer
// the fuzzer towards its own branches or the JSON parser's.
#ifndef FUZZ_TUNNEL_CONFIG_ROUND_TRIP_H_
#define FUZZ_TUNNEL_CONFIG_ROUND_TRIP_H_

#include "config/connect_request.h"

namespace duzavide::fuzzing {

// Writes the configuration for `request` (a usable one). Unless a text of the
// request is not UTF-8, or the writer refuses the request ("{}"), the document
// must parse as JSON and carry every value of the request back unchanged; false
// when it does not.
bool ConfigurationNamesRequest(const ConnectRequest& request);

}  // namespace duzavide::fuzzing

#endif  // FUZZ_TUNNEL_CONFIG_ROUND_TRIP_H_
