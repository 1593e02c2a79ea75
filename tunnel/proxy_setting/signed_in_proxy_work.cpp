#include "tunnel/proxy_setting/signed_in_proxy_work.h"

namespace duzavide {

bool SignedInProxyWork::Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) {
  if (chosen_ == nullptr) {
    const SessionIdentity identity = identity_->Identify();
    switch (identity.kind) {
      case SessionIdentity::Kind::kSameUser:
        chosen_ = own_;
        break;
      case SessionIdentity::Kind::kOtherUser:
        chosen_ = as_signed_in_;
        lines->push_back("[proxy] the person signed in to this session (" + identity.signed_in_sid +
                         ") is not the account this program runs as (" + identity.own_sid +
                         "); their proxy setting is kept as them");
        break;
      case SessionIdentity::Kind::kUnknown:
        chosen_ = own_;
        lines->push_back("[proxy] the person signed in to this session could not be found -- " +
                         identity.failure +
                         "; the proxy setting of this program's account is kept");
        break;
    }
  }
  return chosen_->Run(step, lines, failure);
}

}  // namespace duzavide
