#include "tunnel/data_folder/folder_check.h"

#include <sddl.h>

#include <cstring>

namespace duzavide {
namespace {

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

FolderDecision DecideFolder(const FolderFacts& facts) {
  if (!facts.exists) return {FolderAction::kCreate, ""};
  if (!facts.opened)
    return {FolderAction::kMoveAside, "it could not be opened: " + facts.open_failure};
  if (facts.reparse_point) return {FolderAction::kMoveAside, "it is a link"};
  if (!facts.directory) return {FolderAction::kMoveAside, "it is not a folder"};
  if (!facts.final_path_matches) return {FolderAction::kMoveAside, "its real path is elsewhere"};
  if (facts.owner_as_set && facts.list_as_set) return {FolderAction::kUse, ""};
  // Owner and list mean nothing where the volume keeps none: moving the folder
  // aside would gain nothing, the fresh one would look the same.
  if (!facts.volume_keeps_lists) {
    return {FolderAction::kUseUnprotected, "its volume keeps no access lists"};
  }
  if (!facts.owner_as_set) return {FolderAction::kMoveAside, "it is owned by " + facts.owner};
  return {FolderAction::kMoveAside, "its access list is not the protected one"};
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

std::string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (sid == nullptr || !::IsValidSid(sid) || !::ConvertSidToStringSidW(sid, &text)) {
    return "an unreadable account";
  }
  std::string narrow;
  for (const wchar_t* c = text; *c != L'\0'; ++c) narrow += static_cast<char>(*c);  // ASCII
  ::LocalFree(text);
  return narrow;
}

}  // namespace duzavide
