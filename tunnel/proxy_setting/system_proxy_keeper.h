// The keeper (proxy_setting_keeper.h) on a platform, by default the real setting
// of the person signed in to this session (signed_in_proxy_work.h), one step at a
// time in the process (the tunnel's thread, the platform thread at the end of the
// Windows session, the start) and, through the journal's lock
// (proxy_journal_lock.h), one at a time with the restore program. The host waits
// a bounded time for that lock and then goes on without it, so that no other
// program can stop a connect or its own end. Lines go to `line` after the step,
// outside any lock. Any thread.
#ifndef TUNNEL_PROXY_SETTING_SYSTEM_PROXY_KEEPER_H_
#define TUNNEL_PROXY_SETTING_SYSTEM_PROXY_KEEPER_H_

#include <string>

#include "base/line_sink.h"
#include "tunnel/proxy_setting/proxy_platform.h"
#include "tunnel/proxy_setting/proxy_work.h"

namespace duzavide {

// This account's real setting (never destroyed).
ProxyPlatform& SystemProxyPlatform();

// The keeper on `platform`, in this process, with the journal's lock held while a
// step runs (waited for `lock_wait_ms`, then gone on without).
class LockedProxyWork final : public ProxyWork {
 public:
  // `platform` is not owned and must outlive this.
  explicit LockedProxyWork(ProxyPlatform& platform, unsigned long lock_wait_ms = 3000)
      : platform_(platform), lock_wait_ms_(lock_wait_ms) {}
  bool Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) override;

 private:
  ProxyPlatform& platform_;
  const unsigned long lock_wait_ms_;
};

// The work for the person signed in to this session: this account's own, or
// the restore program's as that person (never destroyed).
ProxyWork& SignedInUserProxyWork();

// The proxy step of a connect (see ProxySettingKeeper::SwitchToDirect).
bool ResetSystemProxy(std::string* failure, ProxyWork& work = SignedInUserProxyWork());

// What the end of the tunnel (and the end of the Windows session) does to the
// setting.
bool RestoreSystemProxy(const LineSink& line, ProxyWork& work = SignedInUserProxyWork());

// At start, before anything else uses the setting.
bool RestoreLeftOverSystemProxy(const LineSink& line);

// A step the host asked the restore program for, on this account's own setting;
// a switch that fails says why in its last line.
bool RunProxyStepForHost(ProxyStep step, const LineSink& line);

// What the restore program does at sign-in (ProxySettingKeeper::RepairLeftOver),
// only with the journal's lock held. When the setting stays saved (the lock was
// not had, or the system refused), the restore program is registered again for
// the next sign-in: the system deletes that registration before it runs the
// program.
bool RepairLeftOverSystemProxy(const LineSink& line);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_SYSTEM_PROXY_KEEPER_H_
