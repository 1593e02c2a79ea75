// The keeper (proxy_setting_keeper.h) on a platform, by default this account's
// real setting, one sequence at a time in the process (the tunnel's thread, the
// platform thread at the end of the Windows session, the start) and, through
// the journal's lock (proxy_journal_lock.h), one at a time with the restore
// program. The host waits a bounded time for that lock and then goes on without
// it, so that no other program can stop a connect or its own end. Lines go to
// `line` after the sequence, outside any lock. Any thread.
#ifndef TUNNEL_PROXY_SETTING_SYSTEM_PROXY_KEEPER_H_
#define TUNNEL_PROXY_SETTING_SYSTEM_PROXY_KEEPER_H_

#include <string>

#include "base/line_sink.h"
#include "tunnel/proxy_setting/proxy_platform.h"

namespace duzavide {

// This account's real setting (never destroyed).
ProxyPlatform& SystemProxyPlatform();

// The proxy step of a connect (see ProxySettingKeeper::SwitchToDirect).
bool ResetSystemProxy(std::string* failure, ProxyPlatform& platform = SystemProxyPlatform());

// What the end of the tunnel (and the end of the Windows session) does to the
// setting.
bool RestoreSystemProxy(const LineSink& line, ProxyPlatform& platform = SystemProxyPlatform());

// At start, before anything else uses the setting.
bool RestoreLeftOverSystemProxy(const LineSink& line);

// What the restore program does (ProxySettingKeeper::RepairLeftOver), only with
// the journal's lock held. When the setting stays saved (the lock was not had,
// or the system refused), the restore program is registered again for the next
// sign-in: the system deletes that registration before it runs the program.
bool RepairLeftOverSystemProxy(const LineSink& line);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_SYSTEM_PROXY_KEEPER_H_
