// The per-connection proxy options of the user's connections (the default one
// and each dial-up or VPN entry), as the tunnel saves them before it switches
// them to direct access, and the journal entries they are saved as. Pure values;
// any thread.
#ifndef TUNNEL_PROXY_SETTING_PROXY_OPTIONS_H_
#define TUNNEL_PROXY_SETTING_PROXY_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duzavide {

// Connection-type bits of the flags option, with the values the system uses.
constexpr uint32_t kProxyTypeDirect = 0x1;
constexpr uint32_t kProxyTypeProxy = 0x2;         // the manual proxy server
constexpr uint32_t kProxyTypeAutoProxyUrl = 0x4;  // the automatic configuration script
constexpr uint32_t kProxyTypeAutoDetect = 0x8;    // "automatically detect settings"

struct ProxyOptions {
  uint32_t flags = kProxyTypeDirect;
  // An absent text is not an empty one: the system keeps the two apart, and a
  // restore gives back exactly which it was.
  std::optional<std::wstring> server;
  std::optional<std::wstring> bypass;
  std::optional<std::wstring> autoconfig_url;
  // Absent when the system would not tell; then it is never written back.
  std::optional<uint32_t> autodiscovery_flags;

  bool operator==(const ProxyOptions& other) const {
    return flags == other.flags && server == other.server && bypass == other.bypass &&
           autoconfig_url == other.autoconfig_url &&
           autodiscovery_flags == other.autodiscovery_flags;
  }
  bool operator!=(const ProxyOptions& other) const { return !(*this == other); }
};

// The options of one connection. `connection` is the name of a dial-up or VPN
// entry as the system lists it; empty names the default connection (the LAN
// setting), which every saved setting holds first.
struct ConnectionProxy {
  std::wstring connection;
  ProxyOptions options;

  bool operator==(const ConnectionProxy& other) const {
    return connection == other.connection && options == other.options;
  }
};
using ConnectionProxies = std::vector<ConnectionProxy>;

// True when `flags` use no proxy at all: no manual proxy, no automatic
// configuration script and no automatic detection.
bool IsDirectAccess(uint32_t flags);

// What a look for the journal found.
enum class ProxyJournalState {
  kNone,         // no journal
  kPresent,      // read and understood
  kUnreadable,   // there, but not a journal this program understands
  kUnreachable,  // could not be read (the registry refused)
};

// `saved` as journal entries, one "name=value" text each; an absent option has
// no entry. The default connection alone is written as the first version of the
// journal; more connections as the second, where each connection's options follow
// a "connection=<name>" entry (an empty name for the default one). No entry is
// empty, and none holds a NUL (the system's texts cannot).
std::vector<std::wstring> EncodeProxyJournal(const ConnectionProxies& saved);

// A list of texts as the registry keeps it (REG_MULTI_SZ), the form the journal
// is kept in: each text followed by a NUL, and one more NUL at the end. The
// texts must be non-empty and hold no NUL, as journal entries are.
std::wstring JoinMultiString(const std::vector<std::wstring>& texts);

// The texts of such data, `units` UTF-16 units read from the registry: each text
// ends at a NUL, the list at an empty text or at the end of the data, whichever
// comes first; a last text without its NUL counts. Reads nothing at or beyond
// `units`.
std::vector<std::wstring> SplitMultiString(const wchar_t* data, size_t units);

// The connections of journal entries written by EncodeProxyJournal, in their
// order; a journal of the first version holds the default connection only.
// Nothing when the entries are not such a journal (unknown version or name, a
// name or a connection twice, options before their connection, no flags, a
// number that is not one).
std::optional<ConnectionProxies> DecodeProxyJournal(const std::vector<std::wstring>& entries);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_OPTIONS_H_
