// IdentitySource: who the person signed in to this session is, next to the
// account this program runs as. The two differ when an administrator's name and
// password elevated the program for a standard user ("over the shoulder"): then
// this program's HKCU, RunOnce and profile are the administrator's, and the
// proxy setting the person's programs use is not there. The system's source is
// in signed_in_user.h; tests make the two differ.
#ifndef TUNNEL_PROXY_SETTING_IDENTITY_SOURCE_H_
#define TUNNEL_PROXY_SETTING_IDENTITY_SOURCE_H_

#include <string>

namespace duzavide {

struct SessionIdentity {
  enum class Kind {
    kSameUser,   // the person signed in is this program's account
    kOtherUser,  // another account is signed in to this session
    kUnknown,    // no person could be found (no shell: a service's session)
  };
  Kind kind = Kind::kUnknown;
  std::string signed_in_sid;  // text form; for kSameUser and kOtherUser
  std::string own_sid;        // this program's account, text form
  std::string failure;        // for kUnknown: why
};

class IdentitySource {
 public:
  virtual ~IdentitySource() = default;
  // Any thread; may take some milliseconds (it asks the system each time).
  virtual SessionIdentity Identify() = 0;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_IDENTITY_SOURCE_H_
