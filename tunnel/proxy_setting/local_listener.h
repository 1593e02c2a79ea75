// Whether a TCP port of this machine has a listener, from the system's table of
// TCP endpoints: no connection is made to anything. Any thread.
#ifndef TUNNEL_PROXY_SETTING_LOCAL_LISTENER_H_
#define TUNNEL_PROXY_SETTING_LOCAL_LISTENER_H_

#include "tunnel/proxy_setting/proxy_restore_rule.h"

namespace duzavide {

// True when something listens where a connection to `endpoint` (a host for which
// IsOnThisMachine holds) would arrive: on its address or on every address. For
// "localhost", on 127.0.0.1 or ::1. Also true when the table cannot be read: a
// proxy is called dead only when that is known.
bool HasLocalTcpListener(const ProxyEndpoint& endpoint);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_LOCAL_LISTENER_H_
