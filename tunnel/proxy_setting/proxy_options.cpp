#include "tunnel/proxy_setting/proxy_options.h"

namespace duzavide {
namespace {

constexpr wchar_t kVersionEntry[] = L"version=1";
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

}  // namespace

bool IsDirectAccess(uint32_t flags) {
  return (flags & (kProxyTypeProxy | kProxyTypeAutoProxyUrl | kProxyTypeAutoDetect)) == 0;
}

std::vector<std::wstring> EncodeProxyJournal(const ProxyOptions& options) {
  std::vector<std::wstring> entries = {kVersionEntry, kFlags + Decimal(options.flags)};
  if (options.server) entries.push_back(kServer + *options.server);
  if (options.bypass) entries.push_back(kBypass + *options.bypass);
  if (options.autoconfig_url) entries.push_back(kAutoconfigUrl + *options.autoconfig_url);
  if (options.autodiscovery_flags) {
    entries.push_back(kAutodiscoveryFlags + Decimal(*options.autodiscovery_flags));
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

std::optional<ProxyOptions> DecodeProxyJournal(const std::vector<std::wstring>& entries) {
  if (entries.empty() || entries[0] != kVersionEntry) return std::nullopt;
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
  for (size_t i = 1; i < entries.size(); ++i) {
    bool known = false;
    for (const auto& [name, field] : fields) {
      const std::wstring prefix = name;
      if (entries[i].compare(0, prefix.size(), prefix) != 0) continue;
      if (*field) return std::nullopt;  // a name twice
      *field = entries[i].substr(prefix.size());
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

}  // namespace duzavide
