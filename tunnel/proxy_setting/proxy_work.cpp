#include "tunnel/proxy_setting/proxy_work.h"

#include "tunnel/proxy_setting/proxy_setting_keeper.h"

namespace duzavide {

bool KeeperProxyWork::Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) {
  ProxySettingKeeper keeper(platform_);
  switch (step) {
    case ProxyStep::kSwitchToDirect:
      return keeper.SwitchToDirect(failure);
    case ProxyStep::kRestore:
      return keeper.Restore(lines);
    case ProxyStep::kRestoreLeftOver:
      return keeper.RestoreLeftOver(lines);
    case ProxyStep::kRepairLeftOver:
      return keeper.RepairLeftOver(lines);
  }
  return false;
}

std::wstring ProxyStepVerb(ProxyStep step) {
  switch (step) {
    case ProxyStep::kSwitchToDirect:
      return L"--switch-to-direct";
    case ProxyStep::kRestore:
      return L"--restore";
    case ProxyStep::kRestoreLeftOver:
      return L"--restore-left-over";
    case ProxyStep::kRepairLeftOver:
      break;
  }
  return std::wstring();
}

std::optional<ProxyStep> ProxyStepOfVerb(const std::wstring& verb) {
  const size_t first = verb.find_first_not_of(L" \t");
  const std::wstring bare = first == std::wstring::npos
                                ? std::wstring()
                                : verb.substr(first, verb.find_last_not_of(L" \t") + 1 - first);
  for (ProxyStep step : {ProxyStep::kSwitchToDirect, ProxyStep::kRestore,
                         ProxyStep::kRestoreLeftOver, ProxyStep::kRepairLeftOver}) {
    if (bare == ProxyStepVerb(step)) return step;
  }
  return std::nullopt;
}

}  // namespace duzavide
