// The rule that decides whether a proxy core found in the data folder may be run.
//
// The host runs elevated, so whatever core it starts runs with administrator
// rights. A core in the data folder is run only when no account without those
// rights could have put it there or changed it: the file and its folder must each
// be owned by SYSTEM, the Administrators group or TrustedInstaller, and no access
// entry that applies to them may let any other account change them (write or
// append data, write attributes, delete, delete children, add files or folders,
// change the access list, take ownership, generic write or all). Deny entries grant
// nothing and are passed over; entries that only pass on to children are passed
// over too. A missing access list lets everyone do everything.
//
// Pure: looks at the descriptors only, so it can be checked with descriptors
// written as text. Any thread.
#ifndef TUNNEL_CORE_TRUST_H_
#define TUNNEL_CORE_TRUST_H_

#include <windows.h>

#include <string>

namespace duzavide {

// "" when `file` (the core's descriptor) and `folder` (its folder's) both pass the
// rule; otherwise the first reason found, e.g. "the file is owned by S-1-5-21-..."
// or "the folder lets S-1-5-32-545 change it". Each descriptor must hold at least
// its owner and its access list; null reads as unreadable.
std::string CoreTrustProblem(PSECURITY_DESCRIPTOR file, PSECURITY_DESCRIPTOR folder);

}  // namespace duzavide

#endif  // TUNNEL_CORE_TRUST_H_
