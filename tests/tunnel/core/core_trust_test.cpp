// The rule for a core found in the data folder, over descriptors written as SDDL.
#include "tunnel/core/core_trust.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

UniqueSecurityDescriptor FromSddl(const wchar_t* sddl) {
  UniqueSecurityDescriptor descriptor = SecurityDescriptorFromSddl(sddl);
  EXPECT_TRUE(descriptor) << testing::PrintToString(sddl);
  return descriptor;
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
    UniqueSecurityDescriptor file = FromSddl(c.file);
    UniqueSecurityDescriptor companion;
    if (c.companion) companion = FromSddl(c.companion);
    UniqueSecurityDescriptor folder = FromSddl(c.folder);
    std::vector<CoreFile> files{{"xray.exe", file.Get(), c.links}};
    if (companion) files.push_back({"wintun.dll", companion.Get(), c.companion_links});
    EXPECT_EQ(CoreTrustProblem(files, folder.Get()), c.problem) << c.name;
  }
  UniqueSecurityDescriptor strong = FromSddl(kStrong);
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", nullptr, 1}}, strong.Get()),
            "xray.exe's security could not be read");
  // An access list that is present but null (Wine reads "D:NO_ACCESS_CONTROL" as empty).
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(admins);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
  SECURITY_DESCRIPTOR null_list{};
  ASSERT_TRUE(::InitializeSecurityDescriptor(&null_list, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorOwner(&null_list, admins, FALSE));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&null_list, TRUE, nullptr, FALSE));
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", &null_list, 1}}, strong.Get()),
            "xray.exe has no access list, so anyone may change it");
}

}  // namespace
}  // namespace duzavide
