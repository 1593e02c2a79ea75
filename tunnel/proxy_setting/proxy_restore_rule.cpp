#include "tunnel/proxy_setting/proxy_restore_rule.h"

#include <cctype>
#include <optional>

#include "base/ipv4_text.h"

namespace duzavide {
namespace {

constexpr uint16_t kDefaultProxyPort = 80;
constexpr uint16_t kDefaultSocksPort = 1080;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The proxy texts are plain ASCII host names, addresses and ports; anything else
// cannot name a server of this machine and is only carried, never read.
std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

// 1 to 5 digits within 1..65535, else 0.
uint16_t ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return 0;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

ProxyEndpoint ParseEntry(std::string entry) {
  uint16_t port = kDefaultProxyPort;
  const size_t equals = entry.find('=');
  if (equals != std::string::npos) {
    if (Lower(entry.substr(0, equals)) == "socks") port = kDefaultSocksPort;
    entry.erase(0, equals + 1);
  }
  const size_t scheme_end = entry.find("://");
  if (scheme_end != std::string::npos) entry.erase(0, scheme_end + 3);
  if (!entry.empty() && entry.back() == '/') entry.pop_back();

  std::string host = entry;
  std::string port_text;
  bool has_port = false;
  if (!entry.empty() && entry[0] == '[') {
    const size_t close = entry.find(']');
    if (close == std::string::npos) return ProxyEndpoint{entry, 0};
    host = entry.substr(1, close - 1);
    const std::string rest = entry.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return ProxyEndpoint{entry, 0};
      port_text = rest.substr(1);
      has_port = true;
    }
  } else if (entry.find(':') != std::string::npos &&
             entry.find(':') == entry.rfind(':')) {  // more than one ':' is bare IPv6
    const size_t colon = entry.find(':');
    host = entry.substr(0, colon);
    port_text = entry.substr(colon + 1);
    has_port = true;
  }
  if (has_port) port = ParsePort(port_text);
  if (host.empty()) port = 0;
  return ProxyEndpoint{host, port};
}

bool IsLoopbackIpv4(const std::string& host) {
  const std::optional<uint32_t> address = ParseDottedIPv4(host);
  return address && (*address >> 24) == 127;
}

}  // namespace

std::vector<ProxyEndpoint> ProxyServerEndpoints(const std::wstring& server) {
  std::vector<ProxyEndpoint> endpoints;
  std::string entry;
  for (char c : Narrow(server) + ";") {
    if (c == ';' || c == ' ' || c == '\t') {
      if (!entry.empty()) endpoints.push_back(ParseEntry(entry));
      entry.clear();
    } else {
      entry.push_back(c);
    }
  }
  return endpoints;
}

bool IsOnThisMachine(const std::string& host) {
  const std::string lower = Lower(host);
  return lower == "localhost" || lower == "::1" || IsLoopbackIpv4(lower);
}

std::string DeadLocalProxy(const ProxyOptions& options, const ListenerProbe& listening) {
  if ((options.flags & kProxyTypeProxy) == 0 || !options.server) return std::string();
  const std::vector<ProxyEndpoint> endpoints = ProxyServerEndpoints(*options.server);
  if (endpoints.empty()) return std::string();
  for (const ProxyEndpoint& endpoint : endpoints) {
    if (endpoint.port == 0 || !IsOnThisMachine(endpoint.host)) return std::string();
  }
  for (const ProxyEndpoint& endpoint : endpoints) {
    if (listening(endpoint)) return std::string();
  }
  return Narrow(*options.server);
}

uint32_t WithoutManualProxy(uint32_t flags) {
  return (flags & ~kProxyTypeProxy) | kProxyTypeDirect;
}

ProxyRestorePlan PlanProxyRestore(const ProxyOptions* saved, const ProxyOptions& current,
                                  const ListenerProbe& listening) {
  ProxyRestorePlan plan;
  if (saved != nullptr) {
    plan.delete_journal = true;
    // We only ever switch to direct access: anything else was set by someone else.
    if (!IsDirectAccess(current.flags)) {
      plan.outcome = ProxyRestoreOutcome::kChangedBySomeoneElse;
      return plan;
    }
    plan.write = ProxyRestorePlan::Write::kAllOptions;
    plan.options = *saved;
    plan.outcome = ProxyRestoreOutcome::kRestored;
  } else {
    plan.options = current;
  }
  plan.dead_proxy = DeadLocalProxy(plan.options, listening);
  if (!plan.dead_proxy.empty()) {
    plan.options.flags = WithoutManualProxy(plan.options.flags);
    plan.outcome = ProxyRestoreOutcome::kDeadProxySwitchedOff;
    if (plan.write == ProxyRestorePlan::Write::kNothing) {
      plan.write = ProxyRestorePlan::Write::kFlagsOnly;
    }
  }
  return plan;
}

}  // namespace duzavide
