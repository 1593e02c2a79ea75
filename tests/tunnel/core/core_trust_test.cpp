// The rule for a core found in the data folder, over owners and access lists as
// read from their descriptors.
#include "tunnel/core/core_trust.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

namespace right = access_right;
using Kind = AccessEntry::Kind;

constexpr char kSystem[] = "S-1-5-18";
constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr char kUsers[] = "S-1-5-32-545";
constexpr char kEveryone[] = "S-1-1-0";
constexpr char kUser[] = "S-1-5-21-0-0-0-1000";
constexpr uint32_t kFullControl = 0x1f01ff;
constexpr uint32_t kReadAndExecute = 0x1200a9;

AccessEntry Entry(Kind kind, uint32_t mask, const std::string& grantee = "",
                  bool inherit_only = false) {
  return AccessEntry{kind, inherit_only, mask, grantee};
}
AccessEntry Allow(uint32_t mask, const std::string& grantee) {
  return Entry(Kind::kAllow, mask, grantee);
}
SecurityFacts Owned(const std::string& owner, std::vector<AccessEntry> entries) {
  return SecurityFacts{true, owner, true, std::move(entries)};
}

// As an administrator's installer leaves a program: read and execute for Users.
const SecurityFacts kStrong =
    Owned(kAdministrators, {Allow(kFullControl, kSystem), Allow(kFullControl, kAdministrators),
                            Allow(kReadAndExecute, kUsers)});
const SecurityFacts kPlanted = Owned(kUser, {Allow(kFullControl, kUser)});

TEST(CoreTrustTest, OnlyAdministratorsMayHaveMadeOrChangedTheCoreAndWhatItLoads) {
  struct Case {
    const char* name;
    SecurityFacts file;
    SecurityFacts folder;
    std::string problem;
    unsigned long links = 1;
    std::vector<CoreFile> companions = {};
  } cases[] = {
      {"owned by Administrators", kStrong, kStrong, ""},
      {"owned by SYSTEM", Owned(kSystem, {Allow(kFullControl, kSystem)}), kStrong, ""},
      {"owned by TrustedInstaller", Owned(kTrustedInstaller, {Allow(kReadAndExecute, kEveryone)}),
       kStrong, ""},
      {"planted by the user", kPlanted, kStrong, "xray.exe is owned by S-1-5-21-0-0-0-1000"},
      {"unreadable", SecurityFacts(), kStrong, "xray.exe's security could not be read"},
      {"no owner", Owned("", {}), kStrong, "xray.exe has no owner"},
      {"no access list", SecurityFacts{true, kAdministrators, false, {}}, kStrong,
       "xray.exe has no access list, so anyone may change it"},
      {"list unreadable after a trusted entry",
       Owned(kAdministrators, {Allow(kFullControl, kSystem), AccessEntry()}), kStrong,
       "xray.exe's access list could not be read"},
      {"deny entry grants nothing",
       Owned(kAdministrators, {Entry(Kind::kDeny, kFullControl, kUsers)}), kStrong, ""},
      {"entries only passed on to children", kStrong,
       Owned(kAdministrators, {Entry(Kind::kAllow, right::kGenericAll, "S-1-3-0", true),
                               Entry(Kind::kAllow, right::kGenericWrite, kUsers, true)}),
       ""},
      {"a kind not understood that changes nothing",
       Owned(kAdministrators, {Entry(Kind::kNotUnderstood, kReadAndExecute)}), kStrong, ""},
      {"a kind not understood that may change it",
       Owned(kAdministrators, {Entry(Kind::kNotUnderstood, right::kWriteData)}), kStrong,
       "xray.exe has an access entry of a kind not understood"},
      {"folder weak, file strong", kStrong, kPlanted, "the folder is owned by S-1-5-21-0-0-0-1000"},
      {"folder lets Users delete children", kStrong,
       Owned(kAdministrators, {Allow(right::kDeleteChild, kUsers)}),
       "the folder lets S-1-5-32-545 change it"},
      {"file weak, folder weak", Owned(kAdministrators, {Allow(right::kGenericAll, kEveryone)}),
       kPlanted, "xray.exe lets S-1-1-0 change it"},
      // A second name of a trusted file carries the target's owner and list.
      {"hard-linked core", kStrong, kStrong, "xray.exe has 2 links", 2},
      {"planted and hard-linked", kPlanted, kStrong, "xray.exe is owned by S-1-5-21-0-0-0-1000", 2},
      {"hard-linked core, weak folder", kStrong, kPlanted, "xray.exe has 2 links", 2},
      {"companion as strong as the core", kStrong, kStrong, "", 1, {{"wintun.dll", kStrong}}},
      {"planted companion",
       kStrong,
       kStrong,
       "wintun.dll is owned by S-1-5-21-0-0-0-1000",
       1,
       {{"wintun.dll", kPlanted}}},
      {"hard-linked companion",
       kStrong,
       kStrong,
       "geoip.dat has 3 links",
       1,
       {{"wintun.dll", kStrong}, {"geoip.dat", kStrong, 3}}},
  };
  for (const Case& c : cases) {
    std::vector<CoreFile> files{{"xray.exe", c.file, c.links}};
    files.insert(files.end(), c.companions.begin(), c.companions.end());
    EXPECT_EQ(CoreTrustProblem(files, c.folder), c.problem) << c.name;
  }
  // Each right that changes a file or folder, alone: refused for an untrusted
  // account, allowed for a trusted one.
  for (uint32_t change :
       {right::kWriteData, right::kAppendData, right::kWriteExtendedAttributes, right::kDeleteChild,
        right::kWriteAttributes, right::kDelete, right::kWriteAccessList, right::kWriteOwner,
        right::kGenericAll, right::kGenericWrite}) {
    const SecurityFacts weak =
        Owned(kAdministrators, {Allow(kReadAndExecute, kUsers), Allow(change, kUsers)});
    EXPECT_EQ(CoreTrustProblem({{"xray.exe", weak}}, kStrong),
              "xray.exe lets S-1-5-32-545 change it")
        << std::hex << change;
    EXPECT_EQ(CoreTrustProblem({{"xray.exe", Owned(kSystem, {Allow(change, kTrustedInstaller)})}},
                               kStrong),
              "")
        << std::hex << change;
  }
}

}  // namespace
}  // namespace duzavide
