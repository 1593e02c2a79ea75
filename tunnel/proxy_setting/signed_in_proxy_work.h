// SignedInProxyWork does the proxy work for the person signed in to this
// session: with this program's own work when that person is this program's
// account (or cannot be found, said in one line), else with the work done as
// that person, so that nothing is written to this program's own HKCU.
//
// Who that is is asked once, at the first step, and kept for the life of the
// object: the switch, its journal and its restore must all land in the same
// account's hive, also when the shell restarts in between. Not thread-safe; the
// process-wide functions of system_proxy_keeper.h run one step at a time.
#ifndef TUNNEL_PROXY_SETTING_SIGNED_IN_PROXY_WORK_H_
#define TUNNEL_PROXY_SETTING_SIGNED_IN_PROXY_WORK_H_

#include <optional>
#include <string>
#include <vector>

#include "tunnel/proxy_setting/identity_source.h"
#include "tunnel/proxy_setting/proxy_work.h"

namespace duzavide {

class SignedInProxyWork final : public ProxyWork {
 public:
  // None is owned; all must outlive this object.
  SignedInProxyWork(IdentitySource* identity, ProxyWork* own, ProxyWork* as_signed_in)
      : identity_(identity), own_(own), as_signed_in_(as_signed_in) {}

  bool Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) override;

 private:
  IdentitySource* const identity_;
  ProxyWork* const own_;
  ProxyWork* const as_signed_in_;
  ProxyWork* chosen_ = nullptr;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_SIGNED_IN_PROXY_WORK_H_
