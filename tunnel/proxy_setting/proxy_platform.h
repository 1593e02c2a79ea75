// ProxyPlatform: what ProxySettingKeeper needs of the system, as one seam, so that
// its sequences can be checked with every option a real system keeps (Wine keeps
// only a few). The system's own implementation is in system_proxy_keeper.cpp.
// Implementations need not be thread-safe; the keeper's callers serialise.
#ifndef TUNNEL_PROXY_SETTING_PROXY_PLATFORM_H_
#define TUNNEL_PROXY_SETTING_PROXY_PLATFORM_H_

#include <cstdint>
#include <string>

#include "tunnel/proxy_setting/proxy_options.h"
#include "tunnel/proxy_setting/proxy_restore_rule.h"

namespace duzavide {

class ProxyPlatform {
 public:
  virtual ~ProxyPlatform() = default;

  // The default connection's options (system_proxy.h).
  virtual bool ReadOptions(ProxyOptions* options, std::string* failure) = 0;
  virtual bool WriteOptions(const ProxyOptions& options, std::string* failure) = 0;
  virtual bool WriteFlags(uint32_t flags, std::string* failure) = 0;
  virtual void AnnounceChange() = 0;

  // Whether something listens on `endpoint`, a host of this machine (local_listener.h).
  virtual bool HasListener(const ProxyEndpoint& endpoint) = 0;

  // The journal with its sign-in registration (proxy_journal.h).
  virtual ProxyJournalState LoadJournal(ProxyOptions* options, std::string* failure) = 0;
  virtual bool SaveJournal(const ProxyOptions& options, std::string* failure) = 0;
  virtual bool DeleteJournal(std::string* failure) = 0;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_PLATFORM_H_
