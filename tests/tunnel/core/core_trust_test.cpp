// The rule for a core found in the data folder, over descriptors written as SDDL,
// the security the data folder and its logs folder are given, and how a folder's
// security read back is compared with it.
#include "tunnel/core/core_trust.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "tunnel/data_folder/data_folder.h"
#include "tunnel/data_folder/folder_check.h"

namespace duzavide {
namespace {

OwnedSecurityDescriptor FromSddl(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
      << sddl;
  return OwnedSecurityDescriptor(descriptor);
}

// As an administrator's installer leaves a program: read and execute for Users.
constexpr wchar_t kStrong[] = L"O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";
constexpr wchar_t kUserPlanted[] =
    L"O:S-1-5-21-0-0-0-1000D:(A;;FA;;;S-1-5-21-0-0-0-1000)(A;;FA;;;SY)";

TEST(CoreTrustTest, OnlyAdministratorsMayHaveMadeOrChangedTheCoreAndWhatItLoads) {
  struct Case {
    const char* name;
    const wchar_t* file;
    const wchar_t* folder;
    std::string problem;
    unsigned long links = 1;
    const wchar_t* companion = nullptr;  // wintun.dll, when given
    unsigned long companion_links = 1;
  } cases[] = {
      {"owned by Administrators", kStrong, kStrong, ""},
      {"owned by SYSTEM", L"O:SYD:(A;;FA;;;SY)", kStrong, ""},
      {"owned by TrustedInstaller",
       L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;0x1200a9;;;WD)",
       kStrong, ""},
      {"planted by the user", kUserPlanted, kStrong, "xray.exe is owned by S-1-5-21-0-0-0-1000"},
      {"writable by Users", L"O:BAD:(A;;FA;;;BA)(A;;0x1201bf;;;BU)", kStrong,
       "xray.exe lets S-1-5-32-545 change it"},
      {"writable by Authenticated Users", L"O:BAD:(A;;FW;;;AU)", kStrong,
       "xray.exe lets S-1-5-11 change it"},
      {"generic all for Everyone", L"O:BAD:(A;;GA;;;WD)", kStrong,
       "xray.exe lets S-1-1-0 change it"},
      {"access list changeable by Users", L"O:BAD:(A;;WD;;;BU)", kStrong,
       "xray.exe lets S-1-5-32-545 change it"},
      {"deletable by Users", L"O:BAD:(A;;SD;;;BU)", kStrong,
       "xray.exe lets S-1-5-32-545 change it"},
      {"no access list", L"O:BA", kStrong, "xray.exe has no access list, so anyone may change it"},
      {"deny entry grants nothing", L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BA)", kStrong, ""},
      {"inherited read for Users", L"O:BAD:(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)", kStrong, ""},
      {"inherited write for Users", L"O:BAD:(A;ID;FA;;;BA)(A;ID;0x1301bf;;;BU)", kStrong,
       "xray.exe lets S-1-5-32-545 change it"},
      {"entries only passed on to children", kStrong,
       L"O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICIIO;GW;;;BU)", ""},
      {"folder lets Users add files", kStrong, L"O:BAD:(A;;FA;;;BA)(A;;0x1200ab;;;BU)",
       "the folder lets S-1-5-32-545 change it"},
      {"folder lets Users delete children", kStrong, L"O:BAD:(A;;FA;;;BA)(A;;DC;;;BU)",
       "the folder lets S-1-5-32-545 change it"},
      {"folder weak, file strong", kStrong, kUserPlanted,
       "the folder is owned by S-1-5-21-0-0-0-1000"},
      {"file weak, folder strong", L"O:BAD:(A;;FA;;;WD)", kStrong,
       "xray.exe lets S-1-1-0 change it"},
      {"extended attributes writable by Users", L"O:BAD:(A;;FA;;;BA)(A;;0x120010;;;BU)", kStrong,
       "xray.exe lets S-1-5-32-545 change it"},
      // A second name of a trusted file carries the target's owner and list.
      {"hard-linked core", kStrong, kStrong, "xray.exe has 2 links", 2},
      {"companion as strong as the core", kStrong, kStrong, "", 1, kStrong},
      {"planted companion", kStrong, kStrong, "wintun.dll is owned by S-1-5-21-0-0-0-1000", 1,
       kUserPlanted},
      {"hard-linked companion", kStrong, kStrong, "wintun.dll has 3 links", 1, kStrong, 3},
  };
  for (const Case& c : cases) {
    OwnedSecurityDescriptor file = FromSddl(c.file);
    OwnedSecurityDescriptor companion = c.companion ? FromSddl(c.companion) : nullptr;
    OwnedSecurityDescriptor folder = FromSddl(c.folder);
    std::vector<CoreFile> files{{"xray.exe", file.get(), c.links}};
    if (companion) files.push_back({"wintun.dll", companion.get(), c.companion_links});
    EXPECT_EQ(CoreTrustProblem(files, folder.get()), c.problem) << c.name;
  }
  OwnedSecurityDescriptor strong = FromSddl(kStrong);
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", nullptr, 1}}, strong.get()),
            "xray.exe's security could not be read");
  // An access list that is present but null (Wine reads "D:NO_ACCESS_CONTROL" as empty).
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(admins);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
  SECURITY_DESCRIPTOR null_list{};
  ASSERT_TRUE(::InitializeSecurityDescriptor(&null_list, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorOwner(&null_list, admins, FALSE));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&null_list, TRUE, nullptr, FALSE));
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", &null_list, 1}}, strong.get()),
            "xray.exe has no access list, so anyone may change it");
}

// What the data folder is created with (or given): it passes the rule itself, and
// so does every file created inside, which inherits all of it and nothing else.
TEST(DataFolderSecurityTest, ProtectedOwnedByAdministratorsAndPassedOnToEverythingInside) {
  OwnedSecurityDescriptor folder = ProtectedFolderSecurity();
  ASSERT_NE(folder.get(), nullptr);
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", folder.get(), 1}}, folder.get()), "");
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(folder.get(), &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(folder.get(), &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr);
  EXPECT_EQ(dacl->AceCount, 2);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &ace));
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
    EXPECT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  }
}

// The logs folder as passed at creation: the data folder's list plus read, and
// nothing more, for the person signed in, on the folder and every file inside.
TEST(DataFolderSecurityTest, TheLogsFolderLetsTheSignedInUserReadOnly) {
  OwnedSecurityDescriptor logs = LogsFolderSecurity("S-1-5-21-0-0-0-1000");
  OwnedSecurityDescriptor expected =
      FromSddl(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x120089;;;S-1-5-21-0-0-0-1000)");
  EXPECT_TRUE(HasSecurityAsSet(logs.get(), expected.get()));
  // Nobody but SYSTEM and the Administrators may change it or what it holds.
  EXPECT_EQ(CoreTrustProblem({{"host.log", logs.get(), 1}}, logs.get()), "");
}

// A folder's security as read back counts as the host's only with the same owner
// and a protected list of exactly the same entries.
TEST(DataFolderSecurityTest, OnlyTheOwnerAndProtectedListTheHostSetsCountAsSet) {
  OwnedSecurityDescriptor expected = ProtectedFolderSecurity();
  struct Case {
    const wchar_t* read_back;
    bool as_set;
    bool owner_as_set;
  } cases[] = {
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, true},
      {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, true},  // not protected
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)", false, true},
      {L"O:BAD:PAI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)", false, true},  // inherited
      {L"O:S-1-5-21-0-0-0-1000D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, false},
      // What Wine reads back for every file.
      {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)", false, false},
  };
  for (const Case& c : cases) {
    OwnedSecurityDescriptor read_back = FromSddl(c.read_back);
    bool owner_as_set = !c.owner_as_set;
    EXPECT_EQ(HasSecurityAsSet(read_back.get(), expected.get(), &owner_as_set), c.as_set)
        << testing::PrintToString(c.read_back);
    EXPECT_EQ(owner_as_set, c.owner_as_set) << testing::PrintToString(c.read_back);
  }
}

}  // namespace
}  // namespace duzavide
