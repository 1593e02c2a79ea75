#include "tunnel/data_folder/security_descriptors.h"

// clang-format off
#include <windows.h>
#include <sddl.h>
#include <aclapi.h>
// clang-format on

#include <cstring>
#include <vector>

namespace duzavide {
namespace {

constexpr wchar_t kProtectedSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The rules name the system's rights by value, so that they build without its
// headers.
static_assert(access_right::kWriteData == FILE_WRITE_DATA &&
              access_right::kAppendData == FILE_APPEND_DATA &&
              access_right::kWriteExtendedAttributes == FILE_WRITE_EA &&
              access_right::kDeleteChild == FILE_DELETE_CHILD &&
              access_right::kWriteAttributes == FILE_WRITE_ATTRIBUTES &&
              access_right::kDelete == DELETE && access_right::kWriteAccessList == WRITE_DAC &&
              access_right::kWriteOwner == WRITE_OWNER &&
              access_right::kGenericAll == GENERIC_ALL &&
              access_right::kGenericWrite == GENERIC_WRITE);

bool IsDeny(BYTE type) {
  return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// Entry `index` of `list`; kind kUnreadable when it cannot be read or is too
// short to hold a mask.
AccessEntry ReadEntry(PACL list, DWORD index) {
  AccessEntry entry;
  void* ace = nullptr;
  if (!::GetAce(list, index, &ace)) return entry;
  const auto* header = static_cast<const ACE_HEADER*>(ace);
  // Every kind of entry keeps its mask right after the header.
  if (header->AceSize < sizeof(ACE_HEADER) + sizeof(ACCESS_MASK)) return entry;
  entry.inherit_only = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
  entry.mask = static_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask;
  if (IsDeny(header->AceType)) {
    entry.kind = AccessEntry::Kind::kDeny;
  } else if (header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
             header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
    entry.kind = AccessEntry::Kind::kAllow;
    entry.grantee = SidText(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart);
  } else {
    entry.kind = AccessEntry::Kind::kNotUnderstood;
  }
  return entry;
}

bool SameSid(PSID a, PSID b) {
  return a != nullptr && b != nullptr && ::IsValidSid(a) && ::IsValidSid(b) && ::EqualSid(a, b);
}

// Entries compared byte for byte: type, flags, rights and account all count.
bool SameEntries(PACL a, PACL b) {
  if (a == nullptr || b == nullptr || a->AceCount != b->AceCount) return false;
  for (DWORD i = 0; i < a->AceCount; ++i) {
    void* x = nullptr;
    void* y = nullptr;
    if (!::GetAce(a, i, &x) || !::GetAce(b, i, &y)) return false;
    const auto* hx = static_cast<const ACE_HEADER*>(x);
    const auto* hy = static_cast<const ACE_HEADER*>(y);
    if (hx->AceSize != hy->AceSize || std::memcmp(x, y, hx->AceSize) != 0) return false;
  }
  return true;
}

}  // namespace

UniqueSecurityDescriptor SecurityDescriptorFromSddl(const wchar_t* sddl) {
  UniqueSecurityDescriptor descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                              descriptor.Receive(), nullptr)) {
    descriptor.Reset();
  }
  return descriptor;
}

UniqueSecurityDescriptor ReadOwnerAndList(HANDLE object) {
  UniqueSecurityDescriptor descriptor;
  if (::GetSecurityInfo(object, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, descriptor.Receive()) != ERROR_SUCCESS) {
    descriptor.Reset();
  }
  return descriptor;
}

UniqueSecurityDescriptor ProtectedFolderSecurity() {
  return SecurityDescriptorFromSddl(kProtectedSddl);
}

UniqueSecurityDescriptor LogsFolderSecurity(const std::string& reader_sid) {
  if (reader_sid.empty()) return UniqueSecurityDescriptor();
  // FR: generic file read (data, attributes, extended attributes, security), no
  // right that changes anything.
  const std::wstring sddl = std::wstring(kProtectedSddl) + L"(A;OICI;FR;;;" +
                            std::wstring(reader_sid.begin(), reader_sid.end()) + L")";
  return SecurityDescriptorFromSddl(sddl.c_str());
}

std::string CurrentUserSid() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
    return std::string();
  }
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
    return std::string();
  }
  const std::string text = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  return text.rfind("S-", 0) == 0 ? text : std::string();
}

bool HasSecurityAsSet(PSECURITY_DESCRIPTOR actual, PSECURITY_DESCRIPTOR expected,
                      bool* owner_matches) {
  if (owner_matches != nullptr) *owner_matches = false;
  if (actual == nullptr || expected == nullptr || !::IsValidSecurityDescriptor(actual) ||
      !::IsValidSecurityDescriptor(expected)) {
    return false;
  }
  PSID actual_owner = nullptr;
  PSID expected_owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(actual, &actual_owner, &defaulted) ||
      !::GetSecurityDescriptorOwner(expected, &expected_owner, &defaulted)) {
    return false;
  }
  const bool owner_same = SameSid(actual_owner, expected_owner);
  if (owner_matches != nullptr) *owner_matches = owner_same;

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE;
  PACL actual_list = nullptr;
  BOOL expected_present = FALSE;
  PACL expected_list = nullptr;
  if (!::GetSecurityDescriptorControl(actual, &control, &revision) ||
      !::GetSecurityDescriptorDacl(actual, &present, &actual_list, &defaulted) ||
      !::GetSecurityDescriptorDacl(expected, &expected_present, &expected_list, &defaulted)) {
    return false;
  }
  // Protected: nothing from the folder above may flow in later.
  return owner_same && (control & SE_DACL_PROTECTED) != 0 && present && expected_present &&
         SameEntries(actual_list, expected_list);
}

SecurityFacts ReadSecurityFacts(PSECURITY_DESCRIPTOR descriptor) {
  SecurityFacts facts;
  if (descriptor == nullptr || !::IsValidSecurityDescriptor(descriptor)) return facts;
  facts.readable = true;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr) {
    return facts;
  }
  facts.owner = SidText(owner);
  BOOL present = FALSE;
  PACL list = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) {
    facts.has_list = true;
    facts.entries.emplace_back();  // unreadable
    return facts;
  }
  facts.has_list = present && list != nullptr;
  for (DWORD i = 0; facts.has_list && i < list->AceCount; ++i) {
    facts.entries.push_back(ReadEntry(list, i));
    if (facts.entries.back().kind == AccessEntry::Kind::kUnreadable) break;
  }
  return facts;
}

std::string SidText(PSID sid) {
  UniqueLocalMemory<wchar_t*> text;
  if (sid == nullptr || !::IsValidSid(sid) || !::ConvertSidToStringSidW(sid, text.Receive())) {
    return "an unreadable account";
  }
  std::string narrow;
  for (const wchar_t* c = text.Get(); *c != L'\0'; ++c) narrow += static_cast<char>(*c);  // ASCII
  return narrow;
}

}  // namespace duzavide
