#include "tunnel/core/core_environment.h"

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

#include "tunnel/core/environment_order.h"

namespace duzavide {
namespace {

// Names that describe the machine and steer nothing the host relies on.
constexpr const wchar_t* kDescriptive[] = {L"COMPUTERNAME", L"NUMBER_OF_PROCESSORS", L"OS",
                                           L"PROCESSOR_ARCHITECTURE"};

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

bool SameName(const std::wstring& a, const wchar_t* b) {
  const size_t length = std::wcslen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

// "C:" of "C:\Windows"; empty when the folder does not begin with a drive.
std::wstring DriveOf(const std::wstring& folder) {
  if (folder.size() >= 2 && folder[1] == L':') return folder.substr(0, 2);
  return std::wstring();
}

}  // namespace

std::wstring CoreEnvironmentBlock(const wchar_t* host, const CoreEnvironmentPlaces& places) {
  std::vector<std::pair<std::wstring, std::wstring>> entries;
  auto add = [&entries](const wchar_t* name, const std::wstring& value) {
    if (!value.empty()) entries.emplace_back(name, value);
  };
  add(L"SystemRoot", places.windows_folder);
  add(L"windir", places.windows_folder);
  add(L"SystemDrive", DriveOf(places.windows_folder));
  add(L"PATH", places.system_folder);
  add(L"ProgramData", places.program_data);
  add(L"TEMP", places.temp_folder);
  add(L"TMP", places.temp_folder);
  add(L"XRAY_LOCATION_ASSET", places.asset_folder);

  bool copied[std::size(kDescriptive)] = {};
  for (const wchar_t* entry = host; entry != nullptr && *entry != L'\0';
       entry += std::wcslen(entry) + 1) {
    const std::wstring text(entry);
    // A leading "=" belongs to the name (the drives' current folders); such
    // names are never on the list.
    const size_t equals = text.find(L'=', 1);
    if (equals == std::wstring::npos) continue;
    const std::wstring name = text.substr(0, equals);
    for (size_t i = 0; i < std::size(kDescriptive); ++i) {
      if (copied[i] || !SameName(name, kDescriptive[i])) continue;
      copied[i] = true;
      entries.emplace_back(name, text.substr(equals + 1));
    }
  }

  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return EnvironmentNameBefore(a.first, b.first);
  });
  std::wstring block;
  for (const auto& entry : entries) {
    block += entry.first + L"=" + entry.second;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

}  // namespace duzavide
