// ProxyPlatform: what ProxySettingKeeper needs of the system, as one seam, so that
// its sequences can be checked with every option a real system keeps (Wine keeps
// only a few, and has no dial-up entries). The system's own implementation is in
// system_proxy_keeper.cpp. Implementations need not be thread-safe; the keeper's
// callers serialise.
#ifndef TUNNEL_PROXY_SETTING_PROXY_PLATFORM_H_
#define TUNNEL_PROXY_SETTING_PROXY_PLATFORM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tunnel/proxy_setting/proxy_options.h"
#include "tunnel/proxy_setting/proxy_restore_rule.h"

namespace duzavide {

class ProxyPlatform {
 public:
  virtual ~ProxyPlatform() = default;

  // The options of one connection (system_proxy.h): `connection` names a dial-up
  // or VPN entry, empty the default connection.
  virtual bool ReadOptions(const std::wstring& connection, ProxyOptions* options,
                           std::string* failure) = 0;
  virtual bool WriteOptions(const std::wstring& connection, const ProxyOptions& options,
                            std::string* failure) = 0;
  virtual bool WriteFlags(const std::wstring& connection, uint32_t flags, std::string* failure) = 0;
  virtual void AnnounceChange() = 0;

  // The dial-up and VPN entries connected now, by name (dial_up_entries.h);
  // none when that cannot be told.
  virtual std::vector<std::wstring> ConnectedEntries() = 0;
  // False only when the entry `name` is known to be gone from the user's and the
  // machine's lists of entries.
  virtual bool EntryExists(const std::wstring& name) = 0;

  // Whether something listens on `endpoint`, a host of this machine (local_listener.h).
  virtual bool HasListener(const ProxyEndpoint& endpoint) = 0;

  // The journal with its sign-in registration (proxy_journal.h).
  virtual ProxyJournalState LoadJournal(ConnectionProxies* saved, std::string* failure) = 0;
  virtual bool SaveJournal(const ConnectionProxies& saved, std::string* failure) = 0;
  virtual bool DeleteJournal(std::string* failure) = 0;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_PLATFORM_H_
