#include "tunnel/proxy_options.h"

#include <map>

namespace duzavide {
namespace {

constexpr wchar_t kVersionEntry[] = L"version=1";
constexpr wchar_t kFlags[] = L"flags";
constexpr wchar_t kServer[] = L"server";
constexpr wchar_t kBypass[] = L"bypass";
constexpr wchar_t kAutoconfigUrl[] = L"autoconfig_url";
constexpr wchar_t kAutodiscoveryFlags[] = L"autodiscovery_flags";

std::wstring Entry(const wchar_t* name, const std::wstring& value) {
  return std::wstring(name) + L"=" + value;
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

bool ProxyOptions::operator==(const ProxyOptions& other) const {
  return flags == other.flags && server == other.server && bypass == other.bypass &&
         autoconfig_url == other.autoconfig_url && autodiscovery_flags == other.autodiscovery_flags;
}

bool IsDirectAccess(uint32_t flags) {
  return (flags & (kProxyTypeProxy | kProxyTypeAutoProxyUrl | kProxyTypeAutoDetect)) == 0;
}

std::vector<std::wstring> EncodeProxyJournal(const ProxyOptions& options) {
  std::vector<std::wstring> entries = {kVersionEntry,
                                       Entry(kFlags, std::to_wstring(options.flags))};
  if (options.server) entries.push_back(Entry(kServer, *options.server));
  if (options.bypass) entries.push_back(Entry(kBypass, *options.bypass));
  if (options.autoconfig_url) entries.push_back(Entry(kAutoconfigUrl, *options.autoconfig_url));
  if (options.autodiscovery_flags) {
    entries.push_back(Entry(kAutodiscoveryFlags, std::to_wstring(*options.autodiscovery_flags)));
  }
  return entries;
}

std::optional<ProxyOptions> DecodeProxyJournal(const std::vector<std::wstring>& entries) {
  if (entries.empty() || entries[0] != kVersionEntry) return std::nullopt;
  std::map<std::wstring, std::wstring> values;
  for (size_t i = 1; i < entries.size(); ++i) {
    const size_t equals = entries[i].find(L'=');
    if (equals == std::wstring::npos) return std::nullopt;
    if (!values.emplace(entries[i].substr(0, equals), entries[i].substr(equals + 1)).second) {
      return std::nullopt;
    }
  }
  ProxyOptions options;
  auto flags = values.find(kFlags);
  if (flags == values.end()) return std::nullopt;
  const std::optional<uint32_t> flag_bits = ParseNumber(flags->second);
  if (!flag_bits) return std::nullopt;
  options.flags = *flag_bits;
  values.erase(flags);
  for (auto [name, field] :
       {std::make_pair(kServer, &options.server), std::make_pair(kBypass, &options.bypass),
        std::make_pair(kAutoconfigUrl, &options.autoconfig_url)}) {
    auto found = values.find(name);
    if (found == values.end()) continue;
    *field = found->second;
    values.erase(found);
  }
  auto discovery = values.find(kAutodiscoveryFlags);
  if (discovery != values.end()) {
    options.autodiscovery_flags = ParseNumber(discovery->second);
    if (!options.autodiscovery_flags) return std::nullopt;
    values.erase(discovery);
  }
  // A name this version does not know may carry something it would fail to give back.
  if (!values.empty()) return std::nullopt;
  return options;
}

}  // namespace duzavide
