#include "config/share_link.h"

#include <string_view>
#include <utility>

namespace duzavide {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::string_view kScheme = "vless://";
constexpr char kDefaultPort[] = "8720";

std::string_view TrimBlanks(std::string_view text) {
  const size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end - begin + 1);
}

// Splits `query` at '&' into key=value pieces; pieces without '=' are dropped
// and a repeated key keeps its last value.
std::map<std::string, std::string> SplitQuery(std::string_view query) {
  std::map<std::string, std::string> parameters;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view piece = query.substr(start, end - start);
    const size_t equals = piece.find('=');
    if (equals != std::string_view::npos) {
      parameters[std::string(piece.substr(0, equals))] = std::string(piece.substr(equals + 1));
    }
    start = end + 1;
  }
  return parameters;
}

std::string Lookup(const std::map<std::string, std::string>& parameters, const std::string& key,
                   std::string fallback) {
  const auto it = parameters.find(key);
  return it == parameters.end() ? std::move(fallback) : it->second;
}

}  // namespace

std::optional<ShareLink> ParseShareLink(const std::string& link) {
  std::string_view text = TrimBlanks(link);
  if (text.substr(0, kScheme.size()) == kScheme) text.remove_prefix(kScheme.size());

  const size_t at = text.find('@');
  const size_t question = text.find('?');
  if (at == std::string_view::npos || question == std::string_view::npos) return std::nullopt;

  ShareLink result;
  result.id = std::string(text.substr(0, at));

  // When the '?' comes before the '@' the host-and-port text runs to the end.
  const size_t host_length = question > at ? question - at - 1 : std::string_view::npos;
  const std::string_view host_port = text.substr(at + 1, host_length);
  const size_t colon = host_port.find(':');
  if (colon == std::string_view::npos) {
    result.address = std::string(host_port);
    result.port = kDefaultPort;
  } else {
    result.address = std::string(host_port.substr(0, colon));
    result.port = std::string(host_port.substr(colon + 1));
  }

  result.parameters = SplitQuery(text.substr(question + 1));
  const auto& p = result.parameters;
  result.encryption = Lookup(p, "encryption", "none");
  result.flow = Lookup(p, "flow", "xtls-rprx-vision");
  result.security = Lookup(p, "security", "reality");
  result.publicKey = Lookup(p, "pbk", Lookup(p, "publicKey", ""));
  result.shortId = Lookup(p, "sid", Lookup(p, "shortId", ""));
  result.spiderX = Lookup(p, "spx", Lookup(p, "spiderX", ""));
  result.fingerprint = Lookup(p, "fp", Lookup(p, "fingerprint", "chrome"));
  result.serverName = Lookup(p, "sni", Lookup(p, "serverName", result.address));
  return result;
}

}  // namespace duzavide
