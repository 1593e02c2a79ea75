// The person signed in to this Windows session, as the session's shell (the
// desktop's Explorer) runs for them, next to the account this process runs as.
// They differ when an administrator's name and password elevated this process
// for a standard user. Any thread.
#ifndef BASE_SIGNED_IN_USER_H_
#define BASE_SIGNED_IN_USER_H_

#include <string>

#include "base/win_handles.h"

namespace duzavide {

// The SID (text form) of the account this process runs as; "" when it cannot be
// read.
std::string ThisProcessUserSid();

// The shell's process, opened for `access`. An account other than the shell's
// may open it only with the debugging privilege, which an elevated administrator
// holds but has not turned on: it is turned on for this thread alone, for the
// open. None, with `failure`, when this session has no shell (a service's) or it
// cannot be opened.
UniqueHandle OpenShellProcess(unsigned long access, std::string* failure);

// The SID (text form) of the shell's process token: the person signed in (its
// token is opened like the process). "" with `failure` when it cannot be found.
std::string SignedInUserSid(std::string* failure);

// SignedInUserSid, or where no one can be found, ThisProcessUserSid.
std::string SignedInOrThisUserSid();

}  // namespace duzavide

#endif  // BASE_SIGNED_IN_USER_H_
