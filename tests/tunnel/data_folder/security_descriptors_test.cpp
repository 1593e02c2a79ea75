// The security the host gives its folders, and how a folder's security read back
// is compared with it.
#include "tunnel/data_folder/security_descriptors.h"

#include <gtest/gtest.h>

#include <string>

#include "tunnel/core/core_trust.h"

namespace duzavide {
namespace {

UniqueSecurityDescriptor FromSddl(const wchar_t* sddl) {
  UniqueSecurityDescriptor descriptor = SecurityDescriptorFromSddl(sddl);
  EXPECT_TRUE(descriptor) << testing::PrintToString(sddl);
  return descriptor;
}

// What the data folder is created with (or given): it passes the rule itself, and
// so does every file created inside, which inherits all of it and nothing else.
TEST(DataFolderSecurityTest, ProtectedOwnedByAdministratorsAndPassedOnToEverythingInside) {
  UniqueSecurityDescriptor folder = ProtectedFolderSecurity();
  ASSERT_NE(folder.Get(), nullptr);
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", folder.Get(), 1}}, folder.Get()), "");
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(folder.Get(), &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(folder.Get(), &present, &dacl, &defaulted));
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
  UniqueSecurityDescriptor logs = LogsFolderSecurity("S-1-5-21-0-0-0-1000");
  UniqueSecurityDescriptor expected =
      FromSddl(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x120089;;;S-1-5-21-0-0-0-1000)");
  EXPECT_TRUE(HasSecurityAsSet(logs.Get(), expected.Get()));
  // Nobody but SYSTEM and the Administrators may change it or what it holds.
  EXPECT_EQ(CoreTrustProblem({{"host.log", logs.Get(), 1}}, logs.Get()), "");
}

// A folder's security as read back counts as the host's only with the same owner
// and a protected list of exactly the same entries.
TEST(DataFolderSecurityTest, OnlyTheOwnerAndProtectedListTheHostSetsCountAsSet) {
  UniqueSecurityDescriptor expected = ProtectedFolderSecurity();
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
    UniqueSecurityDescriptor read_back = FromSddl(c.read_back);
    bool owner_as_set = !c.owner_as_set;
    EXPECT_EQ(HasSecurityAsSet(read_back.Get(), expected.Get(), &owner_as_set), c.as_set)
        << testing::PrintToString(c.read_back);
    EXPECT_EQ(owner_as_set, c.owner_as_set) << testing::PrintToString(c.read_back);
  }
}

}  // namespace
}  // namespace duzavide
