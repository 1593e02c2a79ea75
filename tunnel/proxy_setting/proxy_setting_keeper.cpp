#include "tunnel/proxy_setting/proxy_setting_keeper.h"

#include <algorithm>

namespace duzavide {
namespace {

constexpr char kRestoredLeftOverLine[] =
    "[proxy] restored the proxy setting saved before an earlier run ended unexpectedly";
constexpr char kUnreadableLine[] =
    "[proxy] the saved proxy setting could not be read -- deleted it, the current setting stays: ";
constexpr char kKeptForRetry[] = "; it stays saved for the next start";

// Entry names are the system's UTF-16 texts (UTF-32 where wchar_t is wider);
// lines are UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
        static_cast<uint32_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[++i]) - 0xDC00);
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    const int extra = c < 0x800 ? 1 : (c < 0x10000 ? 2 : 3);
    out.push_back(static_cast<char>((0xF00 >> extra) | (c >> (6 * extra))));
    for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6) {
      out.push_back(static_cast<char>(0x80 | ((c >> shift) & 0x3F)));
    }
  }
  return out;
}

// " of connection "PPPoE"" for a dial-up or VPN entry, "" for the default one.
std::string OfConnection(const std::wstring& connection) {
  return connection.empty() ? std::string() : " of connection \"" + Utf8(connection) + "\"";
}

}  // namespace

bool ProxySettingKeeper::SwitchToDirect(std::string* failure) {
  std::vector<std::wstring> names = {std::wstring()};
  for (const std::wstring& name : platform_->ConnectedEntries()) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  ConnectionProxies current(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    current[i].connection = names[i];
    if (!platform_->ReadOptions(names[i], &current[i].options, failure)) {
      if (!names[i].empty()) *failure = "connection \"" + Utf8(names[i]) + "\": " + *failure;
      return false;
    }
  }
  ConnectionProxies saved;
  std::string saved_failure;
  const ProxyJournalState journal = platform_->LoadJournal(&saved, &saved_failure);
  if (journal == ProxyJournalState::kUnreachable) {
    // Saving over a journal we cannot read could destroy the user's setting.
    *failure = "the saved setting could not be read: " + saved_failure;
    return false;
  }
  if (journal != ProxyJournalState::kPresent) saved.clear();
  // A connection's setting that is not direct access while the journal holds it
  // is someone else's newer one: that is the one to give back. A connection the
  // journal does not hold yet is added; one it holds that is no longer connected
  // stays, to be given back.
  bool changed = journal != ProxyJournalState::kPresent;
  for (const ConnectionProxy& now : current) {
    auto held = std::find_if(saved.begin(), saved.end(), [&](const ConnectionProxy& s) {
      return s.connection == now.connection;
    });
    if (held == saved.end()) {
      saved.push_back(now);
      changed = true;
    } else if (!IsDirectAccess(now.options.flags)) {
      held->options = now.options;
      changed = true;
    }
  }
  if (changed && !platform_->SaveJournal(saved, failure)) return false;
  // As before: a flag that cannot be set leaves the user's own in place, which the
  // restore then finds not direct and keeps.
  std::string ignored;
  for (const std::wstring& name : names) platform_->WriteFlags(name, kProxyTypeDirect, &ignored);
  platform_->AnnounceChange();
  return true;
}

bool ProxySettingKeeper::RestoreSaved(bool left_over, bool judge_dead,
                                      std::vector<std::string>* lines) {
  ConnectionProxies saved;
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
        lines->push_back("[proxy] the saved proxy setting was not restored -- " + failure);
        return false;
      }
      if (left_over) return true;
      break;
    case ProxyJournalState::kUnreachable:
      lines->push_back("[proxy] the saved proxy setting was not restored -- " + failure +
                       kKeptForRetry);
      return false;
  }
  // Without a journal, only the default connection is looked at for a dead proxy.
  if (!have_saved) saved = {ConnectionProxy()};

  ConnectionProxies kept;  // what stays saved for the next try
  bool done = true;
  bool restored = false;
  bool announce = false;
  for (const ConnectionProxy& connection : saved) {
    const std::wstring& name = connection.connection;
    const std::string of = OfConnection(name);
    if (!name.empty() && !platform_->EntryExists(name)) {
      lines->push_back("[proxy] connection \"" + Utf8(name) +
                       "\" is gone; its saved proxy setting was not restored");
      continue;
    }
    const std::string not_restored =
        "[proxy] the saved proxy setting" + of + " was not restored -- ";
    ProxyOptions current;
    if (!platform_->ReadOptions(name, &current, &failure)) {
      // Without a journal nothing is ours to give back and nothing is known dead.
      if (have_saved) {
        lines->push_back(not_restored + failure + kKeptForRetry);
        kept.push_back(connection);
        done = false;
      }
      continue;
    }
    const ProxyRestorePlan plan = PlanProxyRestore(
        have_saved ? &connection.options : nullptr, current,
        [&](const ProxyEndpoint& e) { return !judge_dead || platform_->HasListener(e); });
    if (!Apply(name, plan, &failure)) {
      if (have_saved) kept.push_back(connection);
      done = false;
      lines->push_back(have_saved ? not_restored + failure + kKeptForRetry
                                  : "[proxy] the dead proxy" + of +
                                        " could not be switched off -- " + failure);
      continue;
    }
    announce = announce || plan.write != ProxyRestorePlan::Write::kNothing;
    switch (plan.outcome) {
      case ProxyRestoreOutcome::kNothing:
        break;
      case ProxyRestoreOutcome::kRestored:
        restored = true;
        break;
      case ProxyRestoreOutcome::kDeadProxySwitchedOff:
        lines->push_back("[proxy] the proxy " + plan.dead_proxy + of +
                         " is on this machine and nothing listens there -- switched it off, "
                         "direct access");
        break;
      case ProxyRestoreOutcome::kChangedBySomeoneElse:
        lines->push_back("[proxy] the proxy setting" + of +
                         " was changed by someone else while the tunnel ran -- left as it is");
        break;
    }
  }
  if (announce) platform_->AnnounceChange();
  if (have_saved && kept.size() != saved.size()) {
    // What was given back leaves the journal; a journal left behind as it was is
    // found not direct next time and dropped then.
    const bool updated =
        kept.empty() ? platform_->DeleteJournal(&failure) : platform_->SaveJournal(kept, &failure);
    if (!updated) lines->push_back("[proxy] restored, but " + failure);
  }
  if (restored && left_over) lines->push_back(kRestoredLeftOverLine);
  return done;
}

bool ProxySettingKeeper::Apply(const std::wstring& connection, const ProxyRestorePlan& plan,
                               std::string* failure) {
  switch (plan.write) {
    case ProxyRestorePlan::Write::kNothing:
      return true;
    case ProxyRestorePlan::Write::kAllOptions:
      return platform_->WriteOptions(connection, plan.options, failure);
    case ProxyRestorePlan::Write::kFlagsOnly:
      return platform_->WriteFlags(connection, plan.options.flags, failure);
  }
  return false;
}

}  // namespace duzavide
