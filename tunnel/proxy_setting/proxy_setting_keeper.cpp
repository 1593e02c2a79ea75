#include "tunnel/proxy_setting/proxy_setting_keeper.h"

namespace duzavide {
namespace {

constexpr char kRestoredLeftOverLine[] =
    "[proxy] restored the proxy setting saved before an earlier run ended unexpectedly";
constexpr char kChangedLine[] =
    "[proxy] the proxy setting was changed by someone else while the tunnel ran -- left as it is";
// "<start><proxy><end>"
constexpr char kDeadLineStart[] = "[proxy] the proxy ";
constexpr char kDeadLineEnd[] =
    " is on this machine and nothing listens there -- switched it off, direct access";
constexpr char kUnreadableLine[] =
    "[proxy] the saved proxy setting could not be read -- deleted it, the current setting stays: ";
constexpr char kNotRestoredLine[] = "[proxy] the saved proxy setting was not restored -- ";
constexpr char kNotSwitchedOffLine[] = "[proxy] the dead proxy could not be switched off -- ";
constexpr char kKeptForRetry[] = "; it stays saved for the next start";

}  // namespace

bool ProxySettingKeeper::SwitchToDirect(std::string* failure) {
  ProxyOptions current;
  if (!platform_->ReadOptions(&current, failure)) return false;
  ProxyOptions saved;
  std::string saved_failure;
  const ProxyJournalState journal = platform_->LoadJournal(&saved, &saved_failure);
  if (journal == ProxyJournalState::kUnreachable) {
    // Saving over a journal we cannot read could destroy the user's setting.
    *failure = "the saved setting could not be read: " + saved_failure;
    return false;
  }
  // A setting that is not direct access while a journal exists is someone else's
  // newer one: that is the one to give back.
  const bool ours_saved = journal == ProxyJournalState::kPresent && IsDirectAccess(current.flags);
  if (!ours_saved && !platform_->SaveJournal(current, failure)) return false;
  // As before: a flag that cannot be set leaves the user's own in place, which the
  // restore then finds not direct and keeps.
  std::string ignored;
  platform_->WriteFlags(kProxyTypeDirect, &ignored);
  platform_->AnnounceChange();
  return true;
}

bool ProxySettingKeeper::RestoreSaved(bool left_over, bool judge_dead,
                                      std::vector<std::string>* lines) {
  ProxyOptions saved;
  std::string failure;
  bool have_saved = false;
  switch (platform_->LoadJournal(&saved, &failure)) {
    case ProxyJournalState::kNone:
      if (left_over) return true;
      break;
    case ProxyJournalState::kPresent:
      have_saved = true;
      break;
    case ProxyJournalState::kUnreadable:
      // Nothing in it can be given back; kept, it would be tried at every start.
      lines->push_back(kUnreadableLine + failure);
      if (!platform_->DeleteJournal(&failure)) {
        lines->push_back(kNotRestoredLine + failure);
        return false;
      }
      if (left_over) return true;
      break;
    case ProxyJournalState::kUnreachable:
      lines->push_back(kNotRestoredLine + failure + kKeptForRetry);
      return false;
  }

  ProxyOptions current;
  if (!platform_->ReadOptions(&current, &failure)) {
    if (!have_saved) return true;  // nothing of ours to give back, nothing known to be dead
    lines->push_back(kNotRestoredLine + failure + kKeptForRetry);
    return false;
  }
  const ProxyRestorePlan plan = PlanProxyRestore(
      have_saved ? &saved : nullptr, current,
      [&](const ProxyEndpoint& e) { return !judge_dead || platform_->HasListener(e); });
  if (!Apply(plan, &failure)) {
    lines->push_back(have_saved ? kNotRestoredLine + failure + kKeptForRetry
                                : kNotSwitchedOffLine + failure);
    return false;
  }
  if (plan.delete_journal && !platform_->DeleteJournal(&failure)) {
    // The setting is back; the journal left behind is found not direct next time
    // and dropped then.
    lines->push_back("[proxy] restored, but " + failure);
  }
  switch (plan.outcome) {
    case ProxyRestoreOutcome::kNothing:
      break;
    case ProxyRestoreOutcome::kRestored:
      if (left_over) lines->push_back(kRestoredLeftOverLine);
      break;
    case ProxyRestoreOutcome::kDeadProxySwitchedOff:
      lines->push_back(kDeadLineStart + plan.dead_proxy + kDeadLineEnd);
      break;
    case ProxyRestoreOutcome::kChangedBySomeoneElse:
      lines->push_back(kChangedLine);
      break;
  }
  return true;
}

bool ProxySettingKeeper::Apply(const ProxyRestorePlan& plan, std::string* failure) {
  bool written = true;
  switch (plan.write) {
    case ProxyRestorePlan::Write::kNothing:
      return true;
    case ProxyRestorePlan::Write::kAllOptions:
      written = platform_->WriteOptions(plan.options, failure);
      break;
    case ProxyRestorePlan::Write::kFlagsOnly:
      written = platform_->WriteFlags(plan.options.flags, failure);
      break;
  }
  if (written) platform_->AnnounceChange();
  return written;
}

}  // namespace duzavide
