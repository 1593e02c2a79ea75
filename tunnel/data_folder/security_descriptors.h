// Every security descriptor the host builds, reads back or compares: the
// protection it gives its folders, an open object's owner and access list (and
// the plain facts the trust rules judge), and the account the host runs as.
//
// Descriptors are LocalAlloc memory, owned by UniqueSecurityDescriptor. Any
// thread.
#ifndef TUNNEL_DATA_FOLDER_SECURITY_DESCRIPTORS_H_
#define TUNNEL_DATA_FOLDER_SECURITY_DESCRIPTORS_H_

#include <windows.h>

#include <string>

#include "base/win_handles.h"
#include "tunnel/data_folder/security_facts.h"

namespace duzavide {

// The descriptor written in the system's security descriptor language, e.g.
// "O:BAD:P(A;;FA;;;SY)"; empty when the text is not valid.
UniqueSecurityDescriptor SecurityDescriptorFromSddl(const wchar_t* sddl);

// The owner and access list of the open file or folder `object`; empty when
// they cannot be read.
UniqueSecurityDescriptor ReadOwnerAndList(HANDLE object);

// The data folder's security: owned by the Administrators group, an access list
// protected from inheriting anything from above that gives full control to SYSTEM
// and the Administrators group only, passed on to every file and folder created
// inside. The folder holds the configuration with the tunnel's keys, and is where
// the core is looked for first. Empty when it cannot be built.
UniqueSecurityDescriptor ProtectedFolderSecurity();

// The "logs" folder's security: ProtectedFolderSecurity() plus read (list the
// folder, read the files and their attributes; never write) for `reader_sid`
// (text form), passed on to the files inside, so that the person signed in can
// open the host log without administrator rights. Empty when it cannot be built.
UniqueSecurityDescriptor LogsFolderSecurity(const std::string& reader_sid);

// The SID (text form) of the account this process runs as: the user signed in
// to this session, elevated. "" when it cannot be read.
std::string CurrentUserSid();

// Whether `actual` has the owner of `expected` and a protected access list whose
// entries are exactly those of `expected`, in order. False for null or unreadable
// descriptors. `owner_matches` (if given) receives the owner part alone.
bool HasSecurityAsSet(PSECURITY_DESCRIPTOR actual, PSECURITY_DESCRIPTOR expected,
                      bool* owner_matches = nullptr);

// What `descriptor` says of its object's owner and access list (see
// SecurityFacts); nothing is readable for a null or invalid descriptor.
SecurityFacts ReadSecurityFacts(PSECURITY_DESCRIPTOR descriptor);

// The text form of `sid` ("S-1-5-32-544"), or "an unreadable account".
std::string SidText(PSID sid);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_SECURITY_DESCRIPTORS_H_
