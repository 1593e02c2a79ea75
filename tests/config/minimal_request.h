// The smallest request the configuration writer accepts, shared by the writer's
// tests (its golden document is written for exactly these values).
#ifndef TESTS_CONFIG_MINIMAL_REQUEST_H_
#define TESTS_CONFIG_MINIMAL_REQUEST_H_

#include "config/connect_request.h"

namespace duzavide {

inline ConnectRequest MinimalRequest() {
  ConnectRequest request;
  request.vlessUrl = "vless://u@h:443?";
  request.private_key = "cHJpdmF0ZQ==";
  request.address = "10.8.0.2/32";
  request.server_public_key = "c2VydmVy";
  return request;
}

}  // namespace duzavide

#endif  // TESTS_CONFIG_MINIMAL_REQUEST_H_
