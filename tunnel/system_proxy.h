// Switching the user's system proxy setting to direct access.
#ifndef TUNNEL_SYSTEM_PROXY_H_
#define TUNNEL_SYSTEM_PROXY_H_

namespace duzavide {

// Sets the per-connection flags of the default connection to direct access only,
// then tells the system the settings changed and refreshes them. A manual proxy
// or automatic configuration is switched off; the server and bypass entries stay.
// Returns whether setting the flags succeeded. Main thread.
bool ResetSystemProxy();

}  // namespace duzavide

#endif  // TUNNEL_SYSTEM_PROXY_H_
