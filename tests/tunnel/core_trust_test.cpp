// The rule for a core found in the data folder, over descriptors written as SDDL,
// and the security the data folder is given.
#include "tunnel/core_trust.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "tunnel/data_folder.h"

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

TEST(CoreTrustTest, OnlyAdministratorsMayHaveMadeOrChangedTheCore) {
  struct Case {
    const char* name;
    const wchar_t* file;
    const wchar_t* folder;
    std::string problem;
  } cases[] = {
      {"owned by Administrators", kStrong, kStrong, ""},
      {"owned by SYSTEM", L"O:SYD:(A;;FA;;;SY)", kStrong, ""},
      {"owned by TrustedInstaller",
       L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;0x1200a9;;;WD)",
       kStrong, ""},
      {"planted by the user", kUserPlanted, kStrong, "the file is owned by S-1-5-21-0-0-0-1000"},
      {"writable by Users", L"O:BAD:(A;;FA;;;BA)(A;;0x1201bf;;;BU)", kStrong,
       "the file lets S-1-5-32-545 change it"},
      {"writable by Authenticated Users", L"O:BAD:(A;;FW;;;AU)", kStrong,
       "the file lets S-1-5-11 change it"},
      {"generic all for Everyone", L"O:BAD:(A;;GA;;;WD)", kStrong,
       "the file lets S-1-1-0 change it"},
      {"access list changeable by Users", L"O:BAD:(A;;WD;;;BU)", kStrong,
       "the file lets S-1-5-32-545 change it"},
      {"deletable by Users", L"O:BAD:(A;;SD;;;BU)", kStrong,
       "the file lets S-1-5-32-545 change it"},
      {"no access list", L"O:BA", kStrong, "the file has no access list, so anyone may change it"},
      {"deny entry grants nothing", L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BA)", kStrong, ""},
      {"inherited read for Users", L"O:BAD:(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)", kStrong, ""},
      {"inherited write for Users", L"O:BAD:(A;ID;FA;;;BA)(A;ID;0x1301bf;;;BU)", kStrong,
       "the file lets S-1-5-32-545 change it"},
      {"entries only passed on to children", kStrong,
       L"O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICIIO;GW;;;BU)", ""},
      {"folder lets Users add files", kStrong, L"O:BAD:(A;;FA;;;BA)(A;;0x1200ab;;;BU)",
       "the folder lets S-1-5-32-545 change it"},
      {"folder lets Users delete children", kStrong, L"O:BAD:(A;;FA;;;BA)(A;;DC;;;BU)",
       "the folder lets S-1-5-32-545 change it"},
      {"folder weak, file strong", kStrong, kUserPlanted,
       "the folder is owned by S-1-5-21-0-0-0-1000"},
      {"file weak, folder strong", L"O:BAD:(A;;FA;;;WD)", kStrong,
       "the file lets S-1-1-0 change it"},
  };
  for (const Case& c : cases) {
    OwnedSecurityDescriptor file = FromSddl(c.file);
    OwnedSecurityDescriptor folder = FromSddl(c.folder);
    EXPECT_EQ(CoreTrustProblem(file.get(), folder.get()), c.problem) << c.name;
  }
  OwnedSecurityDescriptor strong = FromSddl(kStrong);
  EXPECT_EQ(CoreTrustProblem(nullptr, strong.get()), "the file's security could not be read");
  // An access list that is present but null (Wine reads "D:NO_ACCESS_CONTROL" as empty).
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(admins);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
  SECURITY_DESCRIPTOR null_list{};
  ASSERT_TRUE(::InitializeSecurityDescriptor(&null_list, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorOwner(&null_list, admins, FALSE));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&null_list, TRUE, nullptr, FALSE));
  EXPECT_EQ(CoreTrustProblem(&null_list, strong.get()),
            "the file has no access list, so anyone may change it");
}

// What the data folder is created with (or given): it passes the rule itself, and
// so does every file created inside, which inherits all of it and nothing else.
TEST(DataFolderSecurityTest, ProtectedOwnedByAdministratorsAndPassedOnToEverythingInside) {
  OwnedSecurityDescriptor folder = ProtectedFolderSecurity();
  ASSERT_NE(folder.get(), nullptr);
  EXPECT_EQ(CoreTrustProblem(folder.get(), folder.get()), "");
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

}  // namespace
}  // namespace duzavide
