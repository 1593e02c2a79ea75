#include "tunnel/proxy_setting/system_proxy_keeper.h"

#include <algorithm>
#include <vector>

#include "base/lock.h"
#include "base/signed_in_user.h"
#include "tunnel/proxy_setting/dial_up_entries.h"
#include "tunnel/proxy_setting/identity_source.h"
#include "tunnel/proxy_setting/local_listener.h"
#include "tunnel/proxy_setting/proxy_journal.h"
#include "tunnel/proxy_setting/proxy_journal_lock.h"
#include "tunnel/proxy_setting/proxy_setting_keeper.h"
#include "tunnel/proxy_setting/restore_program_work.h"
#include "tunnel/proxy_setting/signed_in_proxy_work.h"
#include "tunnel/proxy_setting/system_proxy.h"

namespace duzavide {
namespace {

class SystemPlatform final : public ProxyPlatform {
 public:
  bool ReadOptions(const std::wstring& connection, ProxyOptions* options,
                   std::string* failure) override {
    return ReadSystemProxyOptions(connection, options, failure);
  }
  bool WriteOptions(const std::wstring& connection, const ProxyOptions& options,
                    std::string* failure) override {
    return WriteSystemProxyOptions(connection, options, failure);
  }
  bool WriteFlags(const std::wstring& connection, uint32_t flags, std::string* failure) override {
    return WriteSystemProxyFlags(connection, flags, failure);
  }
  void AnnounceChange() override { AnnounceSystemProxyChange(); }
  std::vector<std::wstring> ConnectedEntries() override { return ConnectedDialUpEntries(); }
  bool EntryExists(const std::wstring& name) override {
    const std::optional<std::vector<std::wstring>> entries = DialUpEntries();
    const std::vector<std::wstring> connected = ConnectedDialUpEntries();
    return !entries || std::find(entries->begin(), entries->end(), name) != entries->end() ||
           std::find(connected.begin(), connected.end(), name) != connected.end();
  }
  bool HasListener(const ProxyEndpoint& endpoint) override { return HasLocalTcpListener(endpoint); }
  ProxyJournalState LoadJournal(ConnectionProxies* saved, std::string* failure) override {
    return LoadProxyJournal(saved, failure);
  }
  bool SaveJournal(const ConnectionProxies& saved, std::string* failure) override {
    return SaveProxyJournal(saved, failure);
  }
  bool DeleteJournal(std::string* failure) override { return DeleteProxyJournal(failure); }
};

// The shell's account next to this process's.
class SystemIdentitySource final : public IdentitySource {
 public:
  SessionIdentity Identify() override {
    SessionIdentity identity;
    identity.own_sid = ThisProcessUserSid();
    identity.signed_in_sid = SignedInUserSid(&identity.failure);
    if (identity.signed_in_sid.empty() || identity.own_sid.empty()) {
      if (identity.failure.empty()) identity.failure = "this program's account could not be read";
      identity.kind = SessionIdentity::Kind::kUnknown;
    } else {
      identity.kind = identity.signed_in_sid == identity.own_sid
                          ? SessionIdentity::Kind::kSameUser
                          : SessionIdentity::Kind::kOtherUser;
    }
    return identity;
  }
};

// The host's bound on waiting for the restore program, which holds the lock for
// one short step; longer means another program holds it.
constexpr unsigned long kHostLockWaitMs = 3000;
// The restore program waits for a host that is busy with its own step.
constexpr unsigned long kRepairLockWaitMs = 15000;

// Never destroyed: a thread may still restore while the process exits.
Lock& SystemProxyLock() {
  static Lock* const lock = new Lock();
  return *lock;
}

bool RunSerialised(ProxyStep step, ProxyWork& work, const LineSink& line,
                   std::string* failure = nullptr) {
  std::vector<std::string> lines;
  std::string ignored;
  bool done;
  {
    AutoLock hold(SystemProxyLock());
    done = work.Run(step, &lines, failure != nullptr ? failure : &ignored);
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

bool LockedProxyWork::Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) {
  const ProxyJournalLock journal_lock(lock_wait_ms_);
  return KeeperProxyWork(&platform_).Run(step, lines, failure);
}

ProxyWork& SignedInUserProxyWork() {
  static IdentitySource* const identity = new SystemIdentitySource();
  static ProxyWork* const own = new LockedProxyWork(SystemProxyPlatform(), kHostLockWaitMs);
  static ProxyWork* const as_signed_in = new RestoreProgramWork();
  static ProxyWork* const work = new SignedInProxyWork(identity, own, as_signed_in);
  return *work;
}

bool ResetSystemProxy(std::string* failure, ProxyWork& work) {
  return RunSerialised(ProxyStep::kSwitchToDirect, work, EmitLine, failure);
}

bool RestoreSystemProxy(const LineSink& line, ProxyWork& work) {
  return RunSerialised(ProxyStep::kRestore, work, line);
}

bool RestoreLeftOverSystemProxy(const LineSink& line) {
  return RunSerialised(ProxyStep::kRestoreLeftOver, SignedInUserProxyWork(), line);
}

bool RunProxyStepForHost(ProxyStep step, const LineSink& line) {
  LockedProxyWork work(SystemProxyPlatform(), kHostLockWaitMs);
  std::string failure;
  const bool done = RunSerialised(step, work, line, &failure);
  if (!done && step == ProxyStep::kSwitchToDirect && line) line(failure);
  return done;
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
