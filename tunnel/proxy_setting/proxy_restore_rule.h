// The rule by which the tunnel gives the user's proxy setting back: pure
// decisions over option values, so that they can be checked for every setting a
// user may have, whatever the system underneath keeps. Any thread.
//
// The saved setting is given back exactly, with two exceptions:
// - A manual proxy on this machine (127.0.0.0/8, "localhost", ::1) with nothing
//   listening on its port is dead (a proxy program that crashed leaves one
//   behind, and the user then has no internet): it is never given back, and one
//   left in place is switched off. Everything else stays as it is.
// - When the setting is no longer direct access at restore time, the user or
//   another program changed it while the tunnel ran: theirs is kept.
#ifndef TUNNEL_PROXY_SETTING_PROXY_RESTORE_RULE_H_
#define TUNNEL_PROXY_SETTING_PROXY_RESTORE_RULE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tunnel/proxy_setting/proxy_options.h"

namespace duzavide {

// One server of a manual proxy setting: its host as written (an IP literal
// without brackets, or a name) and its port.
struct ProxyEndpoint {
  std::string host;
  uint16_t port = 0;
  bool operator==(const ProxyEndpoint& other) const {
    return host == other.host && port == other.port;
  }
};

// The servers that a manual proxy setting names: "host:port", a list of
// "scheme=host:port" separated by ";" or blanks, hosts with "scheme://", and IPv6
// literals in brackets. A missing port is 80, or 1080 for "socks". An entry that
// cannot be read comes back with port 0 (never one of this machine's).
std::vector<ProxyEndpoint> ProxyServerEndpoints(const std::wstring& server);

// True for "localhost", an IPv4 literal in 127.0.0.0/8 and "::1".
bool IsOnThisMachine(const std::string& host);

// Whether something listens on `endpoint` (a host of this machine).
using ListenerProbe = std::function<bool(const ProxyEndpoint& endpoint)>;

// The manual proxy of `options` as written ("127.0.0.1:8080") when it is in use,
// names at least one server, and every server it names is on this machine with
// nothing listening; otherwise empty. `listening` is asked only then.
std::string DeadLocalProxy(const ProxyOptions& options, const ListenerProbe& listening);

// `flags` with the manual proxy switched off and direct access on.
uint32_t WithoutManualProxy(uint32_t flags);

enum class ProxyRestoreOutcome {
  kNothing,               // no saved setting, nothing dead: nothing changes
  kRestored,              // the saved setting is given back exactly
  kDeadProxySwitchedOff,  // given back (or left) with its dead local proxy switched off
  kChangedBySomeoneElse,  // the current setting is not ours: it stays
};

struct ProxyRestorePlan {
  enum class Write { kNothing, kAllOptions, kFlagsOnly };
  ProxyRestoreOutcome outcome = ProxyRestoreOutcome::kNothing;
  Write write = Write::kNothing;
  ProxyOptions options;  // what to write (for kFlagsOnly only its flags count)
  bool delete_journal = false;
  std::string dead_proxy;  // for kDeadProxySwitchedOff
};

// What to do with the setting: `saved` is the journal's options (null when there
// is none), `current` the setting as it stands.
ProxyRestorePlan PlanProxyRestore(const ProxyOptions* saved, const ProxyOptions& current,
                                  const ListenerProbe& listening);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_RESTORE_RULE_H_
