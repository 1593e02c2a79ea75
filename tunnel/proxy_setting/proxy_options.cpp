#include "tunnel/proxy_setting/proxy_options.h"

namespace duzavide {
namespace {

constexpr wchar_t kVersionEntry[] = L"version=1";
constexpr wchar_t kConnectionsVersionEntry[] = L"version=2";
constexpr wchar_t kConnection[] = L"connection=";
constexpr wchar_t kFlags[] = L"flags=";
constexpr wchar_t kServer[] = L"server=";
constexpr wchar_t kBypass[] = L"bypass=";
constexpr wchar_t kAutoconfigUrl[] = L"autoconfig_url=";
constexpr wchar_t kAutodiscoveryFlags[] = L"autodiscovery_flags=";

// (No std::to_wstring: it would bring a wide printf into the host, whose size is
// bounded.)
std::wstring Decimal(uint32_t value) {
  std::wstring digits;
  do {
    digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

// Decimal digits only, within 32 bits.
std::optional<uint32_t> ParseNumber(const std::wstring& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - L'0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wstring(prefix).size(), prefix) == 0;
}

// The options of entries[begin, end): each entry a known name once, the flags
// among them.
std::optional<ProxyOptions> DecodeOptions(const std::vector<std::wstring>& entries, size_t begin,
                                          size_t end) {
  ProxyOptions options;
  std::optional<std::wstring> flags;
  std::optional<std::wstring> discovery;
  const std::pair<const wchar_t*, std::optional<std::wstring>*> fields[] = {
      {kFlags, &flags},
      {kServer, &options.server},
      {kBypass, &options.bypass},
      {kAutoconfigUrl, &options.autoconfig_url},
      {kAutodiscoveryFlags, &discovery},
  };
  for (size_t i = begin; i < end; ++i) {
    bool known = false;
    for (const auto& [name, field] : fields) {
      if (!StartsWith(entries[i], name)) continue;
      if (*field) return std::nullopt;  // a name twice
      *field = entries[i].substr(std::wstring(name).size());
      known = true;
      break;
    }
    // A name this version does not know may carry something it would fail to give back.
    if (!known) return std::nullopt;
  }
  const std::optional<uint32_t> flag_bits = flags ? ParseNumber(*flags) : std::nullopt;
  if (!flag_bits) return std::nullopt;
  options.flags = *flag_bits;
  if (discovery) {
    options.autodiscovery_flags = ParseNumber(*discovery);
    if (!options.autodiscovery_flags) return std::nullopt;
  }
  return options;
}

}  // namespace

bool IsDirectAccess(uint32_t flags) {
  return (flags & (kProxyTypeProxy | kProxyTypeAutoProxyUrl | kProxyTypeAutoDetect)) == 0;
}

std::vector<std::wstring> EncodeProxyJournal(const ConnectionProxies& saved) {
  const bool default_only = saved.size() == 1 && saved[0].connection.empty();
  std::vector<std::wstring> entries = {default_only ? kVersionEntry : kConnectionsVersionEntry};
  for (const ConnectionProxy& connection : saved) {
    if (!default_only) entries.push_back(kConnection + connection.connection);
    const ProxyOptions& options = connection.options;
    entries.push_back(kFlags + Decimal(options.flags));
    if (options.server) entries.push_back(kServer + *options.server);
    if (options.bypass) entries.push_back(kBypass + *options.bypass);
    if (options.autoconfig_url) entries.push_back(kAutoconfigUrl + *options.autoconfig_url);
    if (options.autodiscovery_flags) {
      entries.push_back(kAutodiscoveryFlags + Decimal(*options.autodiscovery_flags));
    }
  }
  return entries;
}

std::wstring JoinMultiString(const std::vector<std::wstring>& texts) {
  std::wstring data;
  for (const std::wstring& text : texts) data += text + L'\0';
  return data + L'\0';
}

std::vector<std::wstring> SplitMultiString(const wchar_t* data, size_t units) {
  std::vector<std::wstring> texts;
  size_t at = 0;
  while (at < units && data[at] != L'\0') {
    size_t end = at;
    while (end < units && data[end] != L'\0') ++end;
    texts.emplace_back(data + at, end - at);
    at = end + 1;
  }
  return texts;
}

std::optional<ConnectionProxies> DecodeProxyJournal(const std::vector<std::wstring>& entries) {
  if (entries.empty()) return std::nullopt;
  const bool default_only = entries[0] == kVersionEntry;
  if (!default_only && entries[0] != kConnectionsVersionEntry) return std::nullopt;
  ConnectionProxies saved;
  size_t at = 1;
  while (at < entries.size() || (default_only && saved.empty())) {
    ConnectionProxy connection;
    if (!default_only) {
      if (!StartsWith(entries[at], kConnection)) return std::nullopt;
      connection.connection = entries[at++].substr(std::wstring(kConnection).size());
      for (const ConnectionProxy& earlier : saved) {
        if (earlier.connection == connection.connection) return std::nullopt;
      }
    }
    size_t end = at;
    while (end < entries.size() && !StartsWith(entries[end], kConnection)) ++end;
    std::optional<ProxyOptions> options = DecodeOptions(entries, at, end);
    if (!options) return std::nullopt;
    connection.options = std::move(*options);
    saved.push_back(std::move(connection));
    at = end;
  }
  if (saved.empty()) return std::nullopt;
  return saved;
}

}  // namespace duzavide
