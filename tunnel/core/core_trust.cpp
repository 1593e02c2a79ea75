#include "tunnel/core/core_trust.h"

#include <sddl.h>

#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

// SYSTEM, the Administrators group and TrustedInstaller.
constexpr const char* kTrustedSids[] = {
    "S-1-5-18",
    "S-1-5-32-544",
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};

constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES |
                                      FILE_WRITE_EA | DELETE | FILE_DELETE_CHILD | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool Trusted(PSID sid) {
  if (sid == nullptr || !::IsValidSid(sid)) return false;
  const std::string text = SidText(sid);
  for (const char* trusted : kTrustedSids) {
    if (text == trusted) return true;
  }
  return false;
}

bool IsDeny(BYTE type) {
  return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// `the` names the object: "xray.exe", "the folder".
std::string DescriptorProblem(PSECURITY_DESCRIPTOR descriptor, const std::string& the) {
  if (descriptor == nullptr || !::IsValidSecurityDescriptor(descriptor)) {
    return the + "'s security could not be read";
  }
  PSID owner = nullptr;
  BOOL owner_defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &owner_defaulted) || owner == nullptr) {
    return the + " has no owner";
  }
  if (!Trusted(owner)) return the + " is owned by " + SidText(owner);

  BOOL present = FALSE;
  PACL dacl = nullptr;
  BOOL dacl_defaulted = FALSE;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &dacl_defaulted)) {
    return the + "'s access list could not be read";
  }
  if (!present || dacl == nullptr) return the + " has no access list, so anyone may change it";
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) return the + "'s access list could not be read";
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 || IsDeny(header->AceType)) continue;
    // Every kind of entry keeps its mask right after the header.
    const ACCESS_MASK mask = static_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask;
    if ((mask & kChangeRights) == 0) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
        header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
      return the + " has an access entry of a kind not understood";
    }
    PSID grantee = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    if (!Trusted(grantee)) return the + " lets " + SidText(grantee) + " change it";
  }
  return std::string();
}

}  // namespace

std::string CoreTrustProblem(const std::vector<CoreFile>& files, PSECURITY_DESCRIPTOR folder) {
  for (const CoreFile& file : files) {
    std::string problem = DescriptorProblem(file.security, file.name);
    if (!problem.empty()) return problem;
    if (file.links != 1) return file.name + " has " + std::to_string(file.links) + " links";
  }
  return DescriptorProblem(folder, "the folder");
}

}  // namespace duzavide
