// ProxySettingKeeper keeps the user's own proxy setting while the tunnel runs
// with direct access.
//
// - The setting is that of the default connection and of every dial-up or VPN
//   entry connected when the tunnel switches to direct access (programs use an
//   entry's own options while it is connected), each by its name.
// - Before the first switch to direct access it saves the setting as a journal
//   (proxy_journal.h); while that journal exists, later switches keep what it
//   holds (they never save the direct setting they made themselves) and add the
//   connections it does not hold yet.
// - Restore gives each connection's saved setting back under the rule of
//   proxy_restore_rule.h and deletes the journal; an entry that is gone by then
//   is skipped with a line, and one that could not be given back stays saved
//   alone. Without a journal it only switches off a dead proxy of this machine
//   in the default connection.
// - RestoreLeftOver does the same for a journal that an earlier run left behind
//   (killed, or the machine lost power), with one line whatever the outcome.
// - RepairLeftOver is what the restore program does at sign-in: like
//   RestoreLeftOver, but no local proxy is judged dead. It runs before the
//   user's other start-up programs, so a proxy program of this machine may simply
//   not have started yet; that judgement belongs to a running host, which can
//   look again later.
// After every change the system is told (and re-reads its settings).
//
// The keeper holds no state of its own: the journal is the state, so a restore
// works in any process. Lines are appended to `lines` for the caller to send
// ("[proxy] ..."). Not thread-safe: the process-wide functions of
// system_proxy_keeper.h run it one sequence at a time.
#ifndef TUNNEL_PROXY_SETTING_PROXY_SETTING_KEEPER_H_
#define TUNNEL_PROXY_SETTING_PROXY_SETTING_KEEPER_H_

#include <string>
#include <vector>

#include "tunnel/proxy_setting/proxy_platform.h"

namespace duzavide {

class ProxySettingKeeper {
 public:
  // `platform` is not owned and must outlive the keeper.
  explicit ProxySettingKeeper(ProxyPlatform* platform) : platform_(platform) {}

  // Saves the current setting unless a journal holds ours already, then switches
  // the flags to direct access. False, with `failure`, when the setting could not
  // be saved: then nothing was changed.
  bool SwitchToDirect(std::string* failure);

  // What a disconnect does to the setting. False when a saved setting could not
  // be given back (it stays saved for the next try), with a line.
  bool Restore(std::vector<std::string>* lines) { return RestoreSaved(false, true, lines); }

  // What the start of a run does: only a journal left behind is acted on.
  bool RestoreLeftOver(std::vector<std::string>* lines) { return RestoreSaved(true, true, lines); }

  // What the restore program does at sign-in.
  bool RepairLeftOver(std::vector<std::string>* lines) { return RestoreSaved(true, false, lines); }

 private:
  bool RestoreSaved(bool left_over, bool judge_dead, std::vector<std::string>* lines);
  bool Apply(const std::wstring& connection, const ProxyRestorePlan& plan, std::string* failure);

  ProxyPlatform* const platform_;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_SETTING_KEEPER_H_
