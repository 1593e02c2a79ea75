// What is read from a descriptor for the trust rules, the security the host gives
// its folders, and how a folder's security read back is compared with it.
#include "tunnel/data_folder/security_descriptors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tunnel/core/core_trust.h"

namespace duzavide {
namespace {

UniqueSecurityDescriptor FromSddl(const wchar_t* sddl) {
  UniqueSecurityDescriptor descriptor = SecurityDescriptorFromSddl(sddl);
  EXPECT_TRUE(descriptor) << testing::PrintToString(sddl);
  return descriptor;
}

std::string Describe(const SecurityFacts& facts) {
  if (!facts.readable) return "unreadable";
  if (facts.owner.empty()) return "no owner";
  std::string text = "owner " + facts.owner + (facts.has_list ? ", list:" : ", no list");
  for (const AccessEntry& entry : facts.entries) {
    static const char* const kKinds[] = {"allow", "deny", "not understood", "unreadable"};
    char mask[16];
    std::snprintf(mask, sizeof(mask), "%#x", static_cast<unsigned>(entry.mask));
    text += std::string(" ") + kKinds[static_cast<int>(entry.kind)] +
            (entry.inherit_only ? " inherit-only " : " ") + mask +
            (entry.grantee.empty() ? "" : " " + entry.grantee) + ";";
  }
  return text;
}

// Each fact the trust rule judges, read from descriptors as the system builds
// them.
TEST(SecurityDescriptorTest, ReadsTheOwnerAndEachEntryTheTrustRuleJudges) {
  struct Case {
    const wchar_t* sddl;
    std::string facts;
  } cases[] = {
      {L"O:S-1-5-21-0-0-0-1000", "owner S-1-5-21-0-0-0-1000, no list"},
      {L"D:(A;;FA;;;SY)", "no owner"},
      {L"O:BAD:(A;;0x1200a9;;;BU)(D;;FA;;;BU)(A;OICIIO;GW;;;BU)(A;OICI;FA;;;SY)",
       "owner S-1-5-32-544, list: allow 0x1200a9 S-1-5-32-545; deny 0x1f01ff; allow "
       "inherit-only 0x40000000 S-1-5-32-545; allow 0x1f01ff S-1-5-18;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(ReadSecurityFacts(FromSddl(c.sddl).Get())), c.facts)
        << testing::PrintToString(c.sddl);
  }
  EXPECT_EQ(Describe(ReadSecurityFacts(nullptr)), "unreadable");
  // Made by hand what Wine's reader of the text form does not make: a list that
  // is present but null ("D:NO_ACCESS_CONTROL" reads as empty), an object entry.
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(admins);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
  SECURITY_DESCRIPTOR hand_made{};
  ASSERT_TRUE(::InitializeSecurityDescriptor(&hand_made, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorOwner(&hand_made, admins, FALSE));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&hand_made, TRUE, nullptr, FALSE));
  EXPECT_EQ(Describe(ReadSecurityFacts(&hand_made)), "owner S-1-5-32-544, no list");
  alignas(DWORD) BYTE entry[64] = {};
  auto* object = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(entry);
  object->Header.AceType = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
  object->Mask = FILE_ALL_ACCESS;
  // Without object types the account follows the flags.
  ASSERT_TRUE(::CopySid(sizeof(entry) - 12, &object->ObjectType, admins));
  object->Header.AceSize = static_cast<WORD>(12 + ::GetLengthSid(admins));
  alignas(DWORD) BYTE list[128];
  ASSERT_TRUE(::InitializeAcl(reinterpret_cast<PACL>(list), sizeof(list), ACL_REVISION_DS));
  ASSERT_TRUE(::AddAce(reinterpret_cast<PACL>(list), ACL_REVISION_DS, MAXDWORD, entry,
                       object->Header.AceSize));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&hand_made, TRUE, reinterpret_cast<PACL>(list), FALSE));
  EXPECT_EQ(Describe(ReadSecurityFacts(&hand_made)),
            "owner S-1-5-32-544, list: not understood 0x1f01ff;");
}

// What the data folder is created with (or given): it passes the rule itself, and
// so does every file created inside, which inherits all of it and nothing else.
TEST(DataFolderSecurityTest, ProtectedOwnedByAdministratorsAndPassedOnToEverythingInside) {
  UniqueSecurityDescriptor folder = ProtectedFolderSecurity();
  ASSERT_NE(folder.Get(), nullptr);
  const SecurityFacts facts = ReadSecurityFacts(folder.Get());
  EXPECT_EQ(CoreTrustProblem({{"xray.exe", facts}}, facts), "");
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
  const SecurityFacts facts = ReadSecurityFacts(logs.Get());
  EXPECT_EQ(CoreTrustProblem({{"host.log", facts}}, facts), "");
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
