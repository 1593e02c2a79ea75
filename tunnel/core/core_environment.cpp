#include "tunnel/core/core_environment.h"

#include <cwchar>

#include "tunnel/core/environment_order.h"

namespace duzavide {
namespace {

constexpr wchar_t kPrefix[] = L"XRAY_";
constexpr wchar_t kAssetVariable[] = L"XRAY_LOCATION_ASSET";

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

// The name part of "NAME=value"; a leading "=" belongs to the name.
std::wstring NameOf(const std::wstring& entry) {
  const size_t equals = entry.find(L'=', 1);
  return entry.substr(0, equals);
}

bool SteersTheCore(const std::wstring& name) {
  const size_t length = std::wcslen(kPrefix);
  if (name.size() < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (Upper(name[i]) != kPrefix[i]) return false;
  }
  return true;
}

}  // namespace

std::wstring CoreEnvironmentBlock(const wchar_t* host, const std::wstring& asset_folder) {
  const std::wstring asset = std::wstring(kAssetVariable) + L"=" + asset_folder;
  std::wstring block;
  bool asset_placed = false;
  // The host's block is already in order: what is kept stays in order, and the
  // one entry added goes where it belongs.
  for (const wchar_t* entry = host; entry != nullptr && *entry != L'\0';
       entry += std::wcslen(entry) + 1) {
    const std::wstring text(entry);
    if (SteersTheCore(NameOf(text))) continue;
    if (!asset_placed && EnvironmentNameBefore(kAssetVariable, NameOf(text))) {
      block += asset;
      block += L'\0';
      asset_placed = true;
    }
    block += text;
    block += L'\0';
  }
  if (!asset_placed) {
    block += asset;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

}  // namespace duzavide
