#include "tunnel/proxy_setting/system_proxy_keeper.h"

#include <vector>

#include "base/lock.h"
#include "tunnel/proxy_setting/local_listener.h"
#include "tunnel/proxy_setting/proxy_journal.h"
#include "tunnel/proxy_setting/proxy_setting_keeper.h"
#include "tunnel/proxy_setting/system_proxy.h"

namespace duzavide {
namespace {

class SystemPlatform final : public ProxyPlatform {
 public:
  bool ReadOptions(ProxyOptions* options, std::string* failure) override {
    return ReadSystemProxyOptions(options, failure);
  }
  bool WriteOptions(const ProxyOptions& options, std::string* failure) override {
    return WriteSystemProxyOptions(options, failure);
  }
  bool WriteFlags(uint32_t flags, std::string* failure) override {
    return WriteSystemProxyFlags(flags, failure);
  }
  void AnnounceChange() override { AnnounceSystemProxyChange(); }
  bool HasListener(const ProxyEndpoint& endpoint) override { return HasLocalTcpListener(endpoint); }
  ProxyJournalState LoadJournal(ProxyOptions* options, std::string* failure) override {
    return LoadProxyJournal(options, failure);
  }
  bool SaveJournal(const ProxyOptions& options, std::string* failure) override {
    return SaveProxyJournal(options, failure);
  }
  bool DeleteJournal(std::string* failure) override { return DeleteProxyJournal(failure); }
};

// Never destroyed: a thread may still restore while the process exits.
Lock& SystemProxyLock() {
  static Lock* const lock = new Lock();
  return *lock;
}

bool RunSerialised(bool (ProxySettingKeeper::*sequence)(std::vector<std::string>*),
                   ProxyPlatform& platform, const LineSink& line) {
  std::vector<std::string> lines;
  bool done;
  {
    AutoLock hold(SystemProxyLock());
    ProxySettingKeeper keeper(&platform);
    done = (keeper.*sequence)(&lines);
  }
  if (line) {
    for (const std::string& text : lines) line(text);
  }
  return done;
}

}  // namespace

ProxyPlatform& SystemProxyPlatform() {
  static ProxyPlatform* const platform = new SystemPlatform();
  return *platform;
}

bool ResetSystemProxy(std::string* failure, ProxyPlatform& platform) {
  AutoLock hold(SystemProxyLock());
  return ProxySettingKeeper(&platform).SwitchToDirect(failure);
}

bool RestoreSystemProxy(const LineSink& line, ProxyPlatform& platform) {
  return RunSerialised(&ProxySettingKeeper::Restore, platform, line);
}

bool RestoreLeftOverSystemProxy(const LineSink& line) {
  return RunSerialised(&ProxySettingKeeper::RestoreLeftOver, SystemProxyPlatform(), line);
}

}  // namespace duzavide
