#include "tunnel/proxy_setting/system_proxy_keeper.h"

#include <vector>

#include "base/lock.h"
#include "tunnel/proxy_setting/local_listener.h"
#include "tunnel/proxy_setting/proxy_journal.h"
#include "tunnel/proxy_setting/proxy_journal_lock.h"
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

// The host's bound on waiting for the restore program, which holds the lock for
// one short sequence; longer means another program holds it.
constexpr unsigned long kHostLockWaitMs = 3000;
// The restore program waits for a host that is busy with its own sequence.
constexpr unsigned long kRepairLockWaitMs = 15000;

// Never destroyed: a thread may still restore while the process exits.
Lock& SystemProxyLock() {
  static Lock* const lock = new Lock();
  return *lock;
}

using Sequence = bool (ProxySettingKeeper::*)(std::vector<std::string>*);

bool RunSerialised(Sequence sequence, ProxyPlatform& platform, const LineSink& line) {
  std::vector<std::string> lines;
  bool done;
  {
    AutoLock hold(SystemProxyLock());
    const ProxyJournalLock journal_lock(kHostLockWaitMs);
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
  const ProxyJournalLock journal_lock(kHostLockWaitMs);
  return ProxySettingKeeper(&platform).SwitchToDirect(failure);
}

bool RestoreSystemProxy(const LineSink& line, ProxyPlatform& platform) {
  return RunSerialised(&ProxySettingKeeper::Restore, platform, line);
}

bool RestoreLeftOverSystemProxy(const LineSink& line) {
  return RunSerialised(&ProxySettingKeeper::RestoreLeftOver, SystemProxyPlatform(), line);
}

bool RepairLeftOverSystemProxy(const LineSink& line) {
  std::vector<std::string> lines;
  bool done = false;
  {
    const ProxyJournalLock journal_lock(kRepairLockWaitMs);
    if (journal_lock.held()) {
      done = ProxySettingKeeper(&SystemProxyPlatform()).RepairLeftOver(&lines);
    } else {
      lines.push_back("[proxy] the saved proxy setting was not restored -- " +
                      journal_lock.failure() + "; it stays saved for the next start");
    }
  }
  if (!done) RegisterProxyRestoreAtSignIn();
  if (line) {
    for (const std::string& text : lines) line(text);
  }
  return done;
}

}  // namespace duzavide
