// The rule that decides whether a proxy core found in the data folder may be run.
//
// The host runs elevated, so whatever core it starts runs with administrator
// rights, and so does everything the core loads from its own folder (the TUN
// driver's library, the geo data files). A core in the data folder is run only
// when no account without those rights could have put any of it there or changed
// it: the core, each of its companion files that is present, and their folder must
// each be owned by SYSTEM, the Administrators group or TrustedInstaller, and no
// access entry that applies to them may let any other account change them (write
// or append data, write attributes or extended attributes, delete, delete
// children, add files or folders, change the access list, take ownership, generic
// write or all). Deny entries grant nothing and are passed over; entries that only
// pass on to children are passed over too. A missing access list lets everyone do
// everything. Each file must also have exactly one name: a second name (a hard
// link) made by the user carries its target's owner and list, so it would pass as
// trusted while the user controls which file it is.
//
// Pure: judges what was read of each object (security_facts.h), so it builds and
// is tested in every preset. Any thread.
#ifndef TUNNEL_CORE_CORE_TRUST_H_
#define TUNNEL_CORE_CORE_TRUST_H_

#include <string>
#include <vector>

#include "tunnel/data_folder/security_facts.h"

namespace duzavide {

// The files the core loads from its own folder, besides itself, when present.
inline constexpr const wchar_t* kCoreCompanionFiles[] = {L"wintun.dll", L"geoip.dat",
                                                         L"geosite.dat"};

// One file as observed through its open handle.
struct CoreFile {
  std::string name;         // e.g. "xray.exe", for the reason
  SecurityFacts security;   // its owner and access list
  unsigned long links = 1;  // number of names the file has
};

// "" when `object` passes the rule on its owner and access list (its links are
// not looked at); otherwise why, naming it `the` ("xray.exe", "the folder"):
// "the folder lets S-1-5-32-545 change it".
std::string ObjectTrustProblem(const SecurityFacts& object, const std::string& the);

// "" when every one of `files` (the core first, then the companions present) and
// `folder` (their folder's owner and list) pass the rule; otherwise the first
// reason found, e.g. "xray.exe is owned by S-1-5-21-...", "geoip.dat has 2 links"
// or "the folder lets S-1-5-32-545 change it". Each file is judged by its owner
// and list, then by its links; the folder last.
std::string CoreTrustProblem(const std::vector<CoreFile>& files, const SecurityFacts& folder);

}  // namespace duzavide

#endif  // TUNNEL_CORE_CORE_TRUST_H_
