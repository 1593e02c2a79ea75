// The user's dial-up and VPN entries (PPPoE, the system's own VPN profiles), from
// the system's remote access library. That library is loaded from the system
// folder when asked and let go afterwards: it is never one of this program's own
// imports, so that nothing beside the program can stand in for it. Any thread.
#ifndef TUNNEL_PROXY_SETTING_DIAL_UP_ENTRIES_H_
#define TUNNEL_PROXY_SETTING_DIAL_UP_ENTRIES_H_

#include <optional>
#include <string>
#include <vector>

namespace duzavide {

// The names of the entries connected now; none when that cannot be told.
std::vector<std::wstring> ConnectedDialUpEntries();

// The names of the entries in the user's and the machine's lists; nothing when
// they cannot be read.
std::optional<std::vector<std::wstring>> DialUpEntries();

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_DIAL_UP_ENTRIES_H_
