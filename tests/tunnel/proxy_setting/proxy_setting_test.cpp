// The rule by which the user's proxy setting is saved and given back, over every
// option a real system keeps (Wine keeps only the flags and the server), through
// the keeper's seam.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/tunnel/proxy_setting/proxy_options_printer.h"
#include "tunnel/proxy_setting/proxy_setting_keeper.h"
#include "tunnel/proxy_setting/signed_in_proxy_work.h"

namespace duzavide {
namespace {

constexpr uint32_t kDirect = kProxyTypeDirect;
constexpr uint32_t kManual = kProxyTypeDirect | kProxyTypeProxy;
constexpr uint32_t kScript = kProxyTypeDirect | kProxyTypeAutoProxyUrl;
constexpr uint32_t kDetect = kProxyTypeDirect | kProxyTypeAutoDetect;

ProxyOptions Setting(uint32_t flags, std::optional<std::wstring> server,
                     std::optional<std::wstring> bypass = std::nullopt,
                     std::optional<std::wstring> url = std::nullopt,
                     std::optional<uint32_t> discovery = std::nullopt) {
  return ProxyOptions{flags, std::move(server), std::move(bypass), std::move(url), discovery};
}

TEST(ProxyRestoreRuleTest, OnlyAManualProxyOfThisMachineWithNoListenerIsDead) {
  struct Case {
    uint32_t flags;
    const wchar_t* server;
    std::set<uint16_t> listening;
    std::string dead;
  } cases[] = {
      {kManual, L"127.0.0.1:8080", {}, "127.0.0.1:8080"},
      {kManual, L"127.0.0.1:8080", {8080}, ""},
      {kScript, L"127.0.0.1:8080", {}, ""},  // the manual proxy is not in use
      {kManual, L"10.1.2.3:3128", {}, ""},
      {kManual, L"http=127.0.0.1:1;https=127.0.0.1:2", {}, "http=127.0.0.1:1;https=127.0.0.1:2"},
      {kManual, L"http=127.0.0.1:1 https=127.0.0.1:2", {2}, ""},
      {kManual, L"http=127.0.0.1:1;https=proxy.corp.test:80", {}, ""},
      {kManual, L"localhost", {80}, ""},                       // no port: 80
      {kManual, L"socks=127.0.0.2", {80}, "socks=127.0.0.2"},  // for socks: 1080
      {kManual, L"[::1]:3128", {}, "[::1]:3128"},
      {kManual, L"http://127.0.0.1:8080/", {}, "http://127.0.0.1:8080/"},
      {kManual, L"127.0.0.1:99999", {}, ""},  // not a port: nothing is known
      {kManual, L"127.0.0.256:80", {}, ""},
      {kManual, L"127.1:80", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "server " << c.server << " flags " << c.flags);
    auto listening = [&](const ProxyEndpoint& endpoint) {
      EXPECT_TRUE(IsOnThisMachine(endpoint.host)) << endpoint.host;
      return c.listening.count(endpoint.port) > 0;
    };
    EXPECT_EQ(DeadLocalProxy(Setting(c.flags, c.server), listening), c.dead);
  }
}

TEST(ProxyJournalTest, EveryOptionComesBackAndAForeignJournalIsRefused) {
  const ProxyOptions all = Setting(kManual | kScript | kDetect, L"http=a.test:1;https=b.test:2",
                                   L"*.x=y;<local>", L"http://10.0.0.1/p.pac?a=b", 0xFFFFFFFF);
  for (const ConnectionProxies& saved : {
           ConnectionProxies{{L"", Setting(kManual, L"", L"<local>")}},  // "" is not absent
           ConnectionProxies{{L"", all}},
           ConnectionProxies{{L"", all},
                             {L"PPPoE", Setting(kDirect, std::nullopt)},
                             {L"Work VPN=2", Setting(kScript, L"", L"", L"x")}},
       }) {
    EXPECT_EQ(DecodeProxyJournal(EncodeProxyJournal(saved)), saved);
  }
  // A journal written before connections were saved by name still loads.
  EXPECT_EQ(DecodeProxyJournal({L"version=1", L"flags=3", L"server=10.1.2.3:3128"}),
            (ConnectionProxies{{L"", Setting(kManual, L"10.1.2.3:3128")}}));
  const std::vector<std::vector<std::wstring>> foreign = {
      {L"version=3", L"flags=1"},
      {L"version=1"},
      {L"version=1", L"flags=4294967296"},
      {L"version=1", L"flags=1", L"flags=3"},
      {L"version=1", L"flags=1", L"x=y"},
      {L"version=1", L"flags=1", L"server"},
      {L"version=1", L"flags=1", L"connection=PPPoE", L"flags=1"},
      {L"version=2", L"flags=1"},
      {L"version=2"},
      {L"version=2", L"connection=", L"flags=1", L"connection=", L"flags=1"},
      {L"version=2", L"connection=", L"flags=1", L"connection=PPPoE"},
  };
  for (const std::vector<std::wstring>& entries : foreign) {
    EXPECT_FALSE(DecodeProxyJournal(entries)) << entries.back();
  }
}

// A system that keeps every option of every connection, as Windows does: the
// default one and, when a test adds them, dial-up entries.
class FakeProxyPlatform : public ProxyPlatform {
 public:
  bool ReadOptions(const std::wstring& connection, ProxyOptions* options, std::string*) override {
    *options = settings.at(connection);
    return true;
  }
  bool WriteOptions(const std::wstring& connection, const ProxyOptions& options,
                    std::string* failure) override {
    *failure = "refused";
    if (refuse || refused.count(connection) > 0) return false;
    settings.at(connection) = options;
    unannounced = true;
    ++writes;
    return true;
  }
  bool WriteFlags(const std::wstring& connection, uint32_t flags, std::string* failure) override {
    ProxyOptions written = settings.at(connection);
    written.flags = flags;
    return WriteOptions(connection, written, failure);
  }
  void AnnounceChange() override { unannounced = false; }
  std::vector<std::wstring> ConnectedEntries() override { return connected; }
  bool EntryExists(const std::wstring& name) override { return settings.count(name) > 0; }
  bool HasListener(const ProxyEndpoint& endpoint) override { return endpoint.port == 8080; }
  ProxyJournalState LoadJournal(ConnectionProxies* saved, std::string* failure) override {
    *failure = "garbled";
    if (journal) *saved = *journal;
    return unreadable ? ProxyJournalState::kUnreadable
                      : (journal ? ProxyJournalState::kPresent : ProxyJournalState::kNone);
  }
  bool SaveJournal(const ConnectionProxies& saved, std::string* failure) override {
    *failure = "full";
    if (refuse) return false;
    journal = saved;
    ++saves;
    return true;
  }
  bool DeleteJournal(std::string*) override {
    journal.reset();
    unreadable = false;
    return true;
  }

  std::map<std::wstring, ProxyOptions> settings;  // by connection, "" the default
  ProxyOptions& setting = settings[L""];
  std::vector<std::wstring> connected;
  std::optional<ConnectionProxies> journal;
  bool unreadable = false;
  bool refuse = false;             // writes and saves
  std::set<std::wstring> refused;  // connections whose writes are refused
  bool unannounced = false;        // a change the system was not told of
  int saves = 0;
  int writes = 0;
};

TEST(ProxySettingKeeperTest, DirectWhileConnectedThenOursExactlyAndNothingElse) {
  const ProxyOptions all = Setting(kManual | kScript | kDetect, L"127.0.0.1:8080", L"<local>",
                                   L"http://pac.test/", 5);  // something listens on 8080
  const ProxyOptions dead_and_script =
      Setting(kProxyTypeProxy | kScript, L"127.0.0.1:1", L"<local>", L"http://pac.test/", 1);
  const ProxyOptions dead_switched_off =
      Setting(kScript, L"127.0.0.1:1", L"<local>", L"http://pac.test/", 1);
  const ProxyOptions theirs = Setting(kDetect, L"", std::nullopt, L"http://theirs.test/", 9);
  const std::string dead_line =
      "[proxy] the proxy 127.0.0.1:1 is on this machine and nothing listens there -- switched "
      "it off, direct access";
  struct Case {
    const char* name;
    ProxyOptions start;
    int connects;
    std::optional<ProxyOptions> set_meanwhile;
    bool left_over;  // restored at the next start, after a killed run
    ProxyOptions after;
    std::vector<std::string> lines;
  } cases[] = {
      {"every option, two connects", all, 2, std::nullopt, false, all, {}},
      {"never connected", all, 0, std::nullopt, false, all, {}},
      {"changed by someone else",
       all,
       1,
       theirs,
       false,
       theirs,
       {"[proxy] the proxy setting was changed by someone else while the tunnel ran -- left as "
        "it is"}},
      {"dead proxy, connected",
       dead_and_script,
       1,
       std::nullopt,
       false,
       dead_switched_off,
       {dead_line}},
      {"dead proxy, never connected",
       dead_and_script,
       0,
       std::nullopt,
       false,
       dead_switched_off,
       {dead_line}},
      {"left over",
       theirs,
       1,
       std::nullopt,
       true,
       theirs,
       {"[proxy] restored the proxy setting saved before an earlier run ended unexpectedly"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProxyPlatform platform;
    platform.setting = c.start;
    ProxySettingKeeper keeper(&platform);
    std::string failure;
    std::vector<std::string> lines;
    for (int i = 0; i < c.connects; ++i) {
      ASSERT_TRUE(keeper.SwitchToDirect(&failure));
      EXPECT_EQ(platform.setting.flags, kDirect);
    }
    EXPECT_EQ(platform.saves, c.connects > 0 ? 1 : 0);
    if (c.set_meanwhile) platform.setting = *c.set_meanwhile;
    ASSERT_TRUE(c.left_over ? keeper.RestoreLeftOver(&lines) : keeper.Restore(&lines));
    ASSERT_TRUE(keeper.Restore(&lines));  // a second disconnect changes nothing more
    EXPECT_EQ(platform.setting, c.after);
    EXPECT_FALSE(platform.journal);
    EXPECT_EQ(lines, c.lines);
    EXPECT_FALSE(platform.unannounced);
  }
}

// At sign-in a local proxy program may not have started yet: the restore program
// gives the saved setting back as it was; only a running host judges it dead.
TEST(ProxySettingKeeperTest, OnlyAHostJudgesALocalProxyDeadAfterAnEarlierRun) {
  const ProxyOptions listening_nothing = Setting(kManual, L"127.0.0.1:1", L"<local>");
  const ProxyOptions live = Setting(kManual, L"127.0.0.1:8080", L"<local>");
  const std::string restored =
      "[proxy] restored the proxy setting saved before an earlier run ended unexpectedly";
  struct Case {
    bool sign_in_repair;
    ProxyOptions saved;
    uint32_t flags_after;
    std::vector<std::string> lines;
  } cases[] = {
      {true, listening_nothing, kManual, {restored}},
      {true, live, kManual, {restored}},
      {false,
       listening_nothing,
       kDirect,
       {"[proxy] the proxy 127.0.0.1:1 is on this machine and nothing listens there -- switched "
        "it off, direct access"}},
      {false, live, kManual, {restored}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.sign_in_repair ? "repair " : "host ") << testing::PrintToString(c.saved));
    FakeProxyPlatform platform;
    platform.setting = c.saved;
    ProxySettingKeeper keeper(&platform);
    std::string failure;
    ASSERT_TRUE(keeper.SwitchToDirect(&failure));  // then the run is killed
    std::vector<std::string> lines;
    ASSERT_TRUE(c.sign_in_repair ? keeper.RepairLeftOver(&lines) : keeper.RestoreLeftOver(&lines));
    ProxyOptions after = c.saved;
    after.flags = c.flags_after;
    EXPECT_EQ(platform.setting, after);
    EXPECT_FALSE(platform.journal);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(ProxySettingKeeperTest, NothingIsLostWhenTheSystemRefuses) {
  const ProxyOptions start = Setting(kManual, L"10.1.2.3:3128", L"<local>");
  FakeProxyPlatform platform;
  platform.setting = start;
  ProxySettingKeeper keeper(&platform);
  std::string failure;
  std::vector<std::string> lines;

  platform.refuse = true;  // not saved: not switched
  EXPECT_FALSE(keeper.SwitchToDirect(&failure));
  EXPECT_EQ(platform.setting, start);

  platform.refuse = false;  // not given back: kept for the next try, which succeeds
  ASSERT_TRUE(keeper.SwitchToDirect(&failure));
  platform.refuse = true;
  EXPECT_FALSE(keeper.RestoreLeftOver(&lines));
  EXPECT_TRUE(platform.journal);
  EXPECT_EQ(lines, std::vector<std::string>{"[proxy] the saved proxy setting was not restored -- "
                                            "refused; it stays saved for the next start"});
  platform.refuse = false;
  ASSERT_TRUE(keeper.RestoreLeftOver(&lines));
  EXPECT_EQ(platform.setting, start);

  platform.unreadable = true;  // dropped, without touching the setting
  platform.setting.flags = kDirect;
  lines.clear();
  EXPECT_TRUE(keeper.RestoreLeftOver(&lines));
  EXPECT_FALSE(platform.unreadable);
  EXPECT_EQ(platform.setting.flags, kDirect);
  EXPECT_EQ(lines, std::vector<std::string>{"[proxy] the saved proxy setting could not be read -- "
                                            "deleted it, the current setting stays: garbled"});
}

// While a PPPoE entry is connected, programs use its own options: it is switched
// with the default connection, kept by name, and each is given back as it was.
TEST(ProxySettingKeeperTest, EveryConnectedEntryIsSwitchedAndGivenBackByName) {
  const ProxyOptions lan = Setting(kManual, L"10.1.2.3:3128", L"<local>");
  const ProxyOptions pppoe = Setting(kScript | kDetect, L"", std::nullopt, L"http://isp.test/", 3);
  const ProxyOptions theirs = Setting(kManual, L"10.9.8.7:80");
  enum Meanwhile { kNothing, kGone, kChanged, kConnectedLate, kRefused };
  struct Case {
    Meanwhile meanwhile;
    bool restored;  // the first restore's result
    ProxyOptions pppoe_after;
    std::vector<std::string> lines;
  } cases[] = {
      {kNothing, true, pppoe, {}},
      {kGone,
       true,
       pppoe,
       {"[proxy] connection \"PPPoE\" is gone; its saved proxy setting was not restored"}},
      {kChanged,
       true,
       theirs,
       {"[proxy] the proxy setting of connection \"PPPoE\" was changed by someone else while "
        "the tunnel ran -- left as it is"}},
      {kConnectedLate, true, pppoe, {}},
      {kRefused,
       false,
       pppoe,
       {"[proxy] the saved proxy setting of connection \"PPPoE\" was not restored -- refused; "
        "it stays saved for the next start"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.meanwhile);
    FakeProxyPlatform platform;
    platform.setting = lan;
    platform.settings[L"PPPoE"] = pppoe;
    platform.connected = {L"PPPoE"};
    if (c.meanwhile == kConnectedLate) platform.connected.clear();
    ProxySettingKeeper keeper(&platform);
    std::string failure;
    ASSERT_TRUE(keeper.SwitchToDirect(&failure));
    platform.connected = {L"PPPoE"};
    ASSERT_TRUE(keeper.SwitchToDirect(&failure));  // a second connect, PPPoE up by now
    EXPECT_EQ(platform.setting.flags, kDirect);
    EXPECT_EQ(platform.settings[L"PPPoE"].flags, kDirect);
    if (c.meanwhile == kGone) platform.settings.erase(L"PPPoE");
    if (c.meanwhile == kChanged) platform.settings[L"PPPoE"] = theirs;
    if (c.meanwhile == kRefused) platform.refused = {L"PPPoE"};
    std::vector<std::string> lines;
    EXPECT_EQ(keeper.Restore(&lines), c.restored);
    EXPECT_EQ(platform.setting, lan);
    EXPECT_EQ(lines, c.lines);
    EXPECT_FALSE(platform.unannounced);
    platform.refused.clear();  // the next start gives back what stayed saved
    lines.clear();
    ASSERT_TRUE(keeper.RestoreLeftOver(&lines));
    EXPECT_FALSE(platform.journal);
    if (c.meanwhile != kGone) EXPECT_EQ(platform.settings[L"PPPoE"], c.pppoe_after);
    EXPECT_EQ(platform.setting, lan);  // not given back twice
  }
}

// Whose setting: the person signed in, found once. When that is another account
// than this program's, nothing is written to this program's own setting, journal
// or sign-in registration.
TEST(SignedInProxyWorkTest, TheWorkIsDoneForThePersonSignedIn) {
  using Kind = SessionIdentity::Kind;
  struct FakeIdentity : IdentitySource {
    SessionIdentity Identify() override {
      SessionIdentity identity;
      identity.kind = kinds.at(asked++);
      identity.signed_in_sid = "S-1-5-21-1-2-3-1001";
      identity.own_sid = "S-1-5-21-1-2-3-500";
      identity.failure = "this session has no shell";
      return identity;
    }
    std::vector<Kind> kinds;
    size_t asked = 0;
  };
  const std::string other_line =
      "[proxy] the person signed in to this session (S-1-5-21-1-2-3-1001) is not the account "
      "this program runs as (S-1-5-21-1-2-3-500); their proxy setting is kept as them";
  const std::string unknown_line =
      "[proxy] the person signed in to this session could not be found -- this session has no "
      "shell; the proxy setting of this program's account is kept";
  struct Case {
    std::vector<Kind> kinds;  // as the source would answer, in turn
    bool as_signed_in;
    std::string line;
  } cases[] = {
      {{Kind::kSameUser, Kind::kOtherUser}, false, ""},
      {{Kind::kOtherUser, Kind::kUnknown}, true, other_line},
      {{Kind::kUnknown, Kind::kOtherUser}, false, unknown_line},
  };
  const ProxyOptions start = Setting(kManual, L"10.1.2.3:3128", L"<local>");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeIdentity identity;
    identity.kinds = c.kinds;
    FakeProxyPlatform own;
    FakeProxyPlatform signed_in;
    own.setting = signed_in.setting = start;
    KeeperProxyWork own_work(&own);
    KeeperProxyWork signed_in_work(&signed_in);
    SignedInProxyWork work(&identity, &own_work, &signed_in_work);
    std::vector<std::string> lines;
    std::string failure;
    ASSERT_TRUE(work.Run(ProxyStep::kSwitchToDirect, &lines, &failure));
    FakeProxyPlatform& acted_on = c.as_signed_in ? signed_in : own;
    FakeProxyPlatform& untouched = c.as_signed_in ? own : signed_in;
    EXPECT_EQ(acted_on.setting.flags, kDirect);
    EXPECT_TRUE(acted_on.journal);
    ASSERT_TRUE(work.Run(ProxyStep::kRestore, &lines, &failure));
    EXPECT_EQ(acted_on.setting, start);
    EXPECT_EQ(untouched.writes + untouched.saves, 0);
    EXPECT_EQ(lines,
              c.line.empty() ? std::vector<std::string>() : std::vector<std::string>{c.line});
    EXPECT_EQ(identity.asked, 1u);
  }
}

}  // namespace
}  // namespace duzavide
