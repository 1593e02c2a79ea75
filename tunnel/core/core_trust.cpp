#include "tunnel/core/core_trust.h"

namespace duzavide {
namespace {

// SYSTEM, the Administrators group and TrustedInstaller.
constexpr const char* kTrustedSids[] = {
    "S-1-5-18",
    "S-1-5-32-544",
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};

constexpr uint32_t kChangeRights =
    access_right::kWriteData | access_right::kAppendData | access_right::kWriteAttributes |
    access_right::kWriteExtendedAttributes | access_right::kDelete | access_right::kDeleteChild |
    access_right::kWriteAccessList | access_right::kWriteOwner | access_right::kGenericWrite |
    access_right::kGenericAll;

bool Trusted(const std::string& sid) {
  for (const char* trusted : kTrustedSids) {
    if (sid == trusted) return true;
  }
  return false;
}

}  // namespace

std::string ObjectTrustProblem(const SecurityFacts& facts, const std::string& the) {
  if (!facts.readable) return the + "'s security could not be read";
  if (facts.owner.empty()) return the + " has no owner";
  if (!Trusted(facts.owner)) return the + " is owned by " + facts.owner;
  if (!facts.has_list) return the + " has no access list, so anyone may change it";
  for (const AccessEntry& entry : facts.entries) {
    if (entry.kind == AccessEntry::Kind::kUnreadable) {
      return the + "'s access list could not be read";
    }
    if (entry.inherit_only || entry.kind == AccessEntry::Kind::kDeny) continue;
    if ((entry.mask & kChangeRights) == 0) continue;
    if (entry.kind != AccessEntry::Kind::kAllow) {
      return the + " has an access entry of a kind not understood";
    }
    if (!Trusted(entry.grantee)) return the + " lets " + entry.grantee + " change it";
  }
  return std::string();
}

std::string CoreTrustProblem(const std::vector<CoreFile>& files, const SecurityFacts& folder) {
  for (const CoreFile& file : files) {
    std::string problem = ObjectTrustProblem(file.security, file.name);
    if (!problem.empty()) return problem;
    if (file.links != 1) return file.name + " has " + std::to_string(file.links) + " links";
  }
  return ObjectTrustProblem(folder, "the folder");
}

}  // namespace duzavide
