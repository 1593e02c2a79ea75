// The line a failed connect step sends: "<subsystem> connect failed at the
// <step> -- <reason>", e.g. "[bridge] connect failed at the loopback port -- ...".
// The reason carries the system's own error text where there is one.
#ifndef TUNNEL_CONNECT_FAILURE_H_
#define TUNNEL_CONNECT_FAILURE_H_

#include <string>

namespace duzavide {

inline std::string ConnectFailedLine(const std::string& subsystem, const std::string& step,
                                     const std::string& reason) {
  return subsystem + " connect failed at the " + step + " -- " + reason;
}

}  // namespace duzavide

#endif  // TUNNEL_CONNECT_FAILURE_H_
