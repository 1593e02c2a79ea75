#include "tunnel/proxy_host.h"

namespace duzavide {

std::optional<std::string> ProxyHostFromShareLink(const std::string& link, std::string* failure) {
  static constexpr char kScheme[] = "vless://";
  static constexpr size_t kSchemeLength = sizeof(kScheme) - 1;
  std::string rest =
      link.compare(0, kSchemeLength, kScheme) == 0 ? link.substr(kSchemeLength) : link;
  size_t at = rest.find('@');
  size_t question = rest.find('?');
  if (at == std::string::npos || question == std::string::npos) {
    if (failure != nullptr) {
      *failure = at == std::string::npos ? "the link has no \"@\"" : "the link has no \"?\"";
    }
    return std::nullopt;
  }
  std::string host_and_port =
      question > at ? rest.substr(at + 1, question - at - 1) : rest.substr(at + 1);
  return host_and_port.substr(0, host_and_port.find(':'));
}

}  // namespace duzavide
