// ProxyWork: the keeper's sequences (proxy_setting_keeper.h) as steps that can be
// run for an account: in this process on a platform, or by the restore program
// (DuzavideProxyRestore.exe) started as the person signed in, with the step's
// verb on its command line. Implementations say nothing about threads; the
// process-wide functions of system_proxy_keeper.h run one step at a time.
#ifndef TUNNEL_PROXY_SETTING_PROXY_WORK_H_
#define TUNNEL_PROXY_SETTING_PROXY_WORK_H_

#include <optional>
#include <string>
#include <vector>

#include "tunnel/proxy_setting/proxy_platform.h"

namespace duzavide {

enum class ProxyStep {
  kSwitchToDirect,   // ProxySettingKeeper::SwitchToDirect
  kRestore,          // ProxySettingKeeper::Restore
  kRestoreLeftOver,  // ProxySettingKeeper::RestoreLeftOver
  kRepairLeftOver,   // ProxySettingKeeper::RepairLeftOver
};

class ProxyWork {
 public:
  virtual ~ProxyWork() = default;

  // Runs `step`, appending its lines to `lines`. False when it did not succeed;
  // for kSwitchToDirect `failure` then says why (and nothing was switched).
  virtual bool Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) = 0;
};

// The keeper on `platform` (not owned; it must outlive this), in this process.
class KeeperProxyWork : public ProxyWork {
 public:
  explicit KeeperProxyWork(ProxyPlatform* platform) : platform_(platform) {}
  bool Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) override;

 private:
  ProxyPlatform* const platform_;
};

// The restore program's command-line verb for `step`: "--switch-to-direct",
// "--restore", "--restore-left-over"; none (an empty text) for kRepairLeftOver,
// the sign-in repair it does when started with no verb.
std::wstring ProxyStepVerb(ProxyStep step);

// The step of a verb as ProxyStepVerb writes it, blanks around it ignored;
// nothing for any other text.
std::optional<ProxyStep> ProxyStepOfVerb(const std::wstring& verb);

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_WORK_H_
