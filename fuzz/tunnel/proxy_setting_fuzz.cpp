// What the elevated host reads from places any program of the user can write: the
// proxy journal (a value of the user's own hive) and the proxy server list of the
// user's internet settings. The input's first two bytes say which ports have a
// listener (bit `port % 16`); the rest, as UTF-16 units (little endian), is the
// journal's value as the registry hands it over.
//
// Judged, beyond no crash and no undefined behaviour:
// - every text taken from the value is non-empty and holds no NUL;
// - a journal that decodes is written again as a value and read back as the same
//   connections with the same options, and each of its texts but the version is
//   one of the value's own entries;
// - a restore of each connection writes its options, at most with the manual
//   proxy switched off when that proxy is dead;
// - every text, read as a server list, names only hosts that are part of it; a
//   host is judged on this machine exactly when it names this machine
//   (proxy_setting_checks.h); the listener probe is asked only about such hosts
//   with a port; and the proxy is called dead exactly when it is in use, every
//   server it names is on this machine with a port, and nothing listens there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/line_sink.h"
#include "fuzz/tunnel/proxy_setting_checks.h"
#include "tunnel/proxy_setting/proxy_options.h"
#include "tunnel/proxy_setting/proxy_restore_rule.h"

namespace duzavide {
namespace {

using fuzzing::AsciiOf;
using fuzzing::NamesThisMachine;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool IsText(const std::wstring& text) {
  return !text.empty() && text.find(L'\0') == std::wstring::npos;
}

// Whether something listens on `endpoint`; asking about anything but a port of
// this machine is a fault.
ListenerProbe Probe(uint16_t listeners) {
  return [listeners](const ProxyEndpoint& endpoint) {
    Require(NamesThisMachine(endpoint.host) && endpoint.port != 0);
    return ((listeners >> (endpoint.port % 16)) & 1) != 0;
  };
}

void CheckServerList(const std::wstring& server, uint32_t flags, uint16_t listeners) {
  const std::string ascii = AsciiOf(server);
  const ListenerProbe probe = Probe(listeners);
  const std::vector<ProxyEndpoint> endpoints = ProxyServerEndpoints(server);
  bool dead = (flags & kProxyTypeProxy) != 0 && !endpoints.empty();
  for (const ProxyEndpoint& endpoint : endpoints) {
    Require(ascii.find(endpoint.host) != std::string::npos);
    Require(!endpoint.host.empty() || endpoint.port == 0);
    const bool local = IsOnThisMachine(endpoint.host);
    Require(local == NamesThisMachine(endpoint.host));
    dead = dead && local && endpoint.port != 0;
  }
  for (const ProxyEndpoint& endpoint : endpoints) dead = dead && !probe(endpoint);
  ProxyOptions options;
  options.flags = flags;
  options.server = server;
  Require(DeadLocalProxy(options, probe) == (dead ? ascii : std::string()));
}

void CheckJournal(const std::vector<std::wstring>& entries, const ConnectionProxies& decoded,
                  uint16_t listeners) {
  Require(!decoded.empty());
  const std::vector<std::wstring> encoded = EncodeProxyJournal(decoded);
  Require(std::all_of(encoded.begin(), encoded.end(), IsText));
  const std::wstring value = JoinMultiString(encoded);
  Require(DecodeProxyJournal(SplitMultiString(value.data(), value.size())) == decoded);
  for (const std::wstring& entry : encoded) {
    // Numbers may be written with leading zeros, and a journal of the default
    // connection alone in the first version; the texts are taken as they are.
    const bool number = entry.rfind(L"flags=", 0) == 0 ||
                        entry.rfind(L"autodiscovery_flags=", 0) == 0 ||
                        entry.rfind(L"version=", 0) == 0;
    Require(number || std::find(entries.begin(), entries.end(), entry) != entries.end());
  }

  for (const ConnectionProxy& connection : decoded) {
    const ProxyOptions& options = connection.options;
    const ProxyRestorePlan plan = PlanProxyRestore(&options, ProxyOptions(), Probe(listeners));
    Require(plan.write == ProxyRestorePlan::Write::kAllOptions && plan.delete_journal);
    ProxyOptions all_but_flags = plan.options;
    all_but_flags.flags = options.flags;
    Require(all_but_flags == options);
    constexpr uint32_t kSwitched = kProxyTypeProxy | kProxyTypeDirect;
    if (plan.dead_proxy.empty()) {
      Require(plan.options.flags == options.flags);
    } else {
      Require((plan.options.flags & kSwitched) == kProxyTypeDirect &&
              (plan.options.flags & ~kSwitched) == (options.flags & ~kSwitched));
    }
    if (options.server) CheckServerList(*options.server, options.flags, listeners);
  }
}

}  // namespace
}  // namespace duzavide

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Nothing here is meant to write lines; any that were written would have no reader.
  duzavide::SetLineSink([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint16_t listeners = static_cast<uint16_t>(data[0] | data[1] << 8);
  // Exactly as long as the value, so that a read past its end is caught.
  std::vector<wchar_t> value((size - 2) / 2);
  for (size_t i = 0; i < value.size(); ++i) {
    value[i] = static_cast<wchar_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
  }
  const std::vector<std::wstring> entries = duzavide::SplitMultiString(value.data(), value.size());
  for (const std::wstring& entry : entries) {
    duzavide::Require(duzavide::IsText(entry));
    duzavide::CheckServerList(entry, duzavide::kProxyTypeProxy, listeners);
  }
  const std::optional<duzavide::ConnectionProxies> decoded = duzavide::DecodeProxyJournal(entries);
  if (decoded) duzavide::CheckJournal(entries, *decoded, listeners);
  return 0;
}
