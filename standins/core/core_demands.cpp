#include "standins/core/core_demands.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace duzavide::standin {
namespace {

using nlohmann::json;

struct Demands {
  bool tun = false;
  std::set<std::string> geoip;  // categories, lowercase, without "!" or "@attribute"
  std::set<std::string> geosite;
};

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string result(size > 0 ? size : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
  return result;
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "geoip:!cn" and "geosite:cn@ads" name the categories "cn".
void NoteCategory(const std::string& text, Demands* demands) {
  const struct {
    const char* prefix;
    std::set<std::string>* categories;
  } kinds[] = {{"geoip:", &demands->geoip}, {"geosite:", &demands->geosite}};
  for (const auto& kind : kinds) {
    const std::string prefix = kind.prefix;
    if (Lowercase(text.substr(0, prefix.size())) != prefix) continue;
    std::string category = text.substr(prefix.size());
    if (!category.empty() && category[0] == '!') category.erase(0, 1);
    category = category.substr(0, category.find('@'));
    kind.categories->insert(Lowercase(category));
  }
}

// Rules and DNS entries name categories in values ("domain", "ip", "expectIPs")
// and in keys (DNS "hosts"); every string of the section counts.
void CollectCategories(const json& node, Demands* demands) {
  if (node.is_string()) {
    NoteCategory(node.get_ref<const std::string&>(), demands);
  } else if (node.is_array()) {
    for (const json& element : node) CollectCategories(element, demands);
  } else if (node.is_object()) {
    for (const auto& member : node.items()) {
      NoteCategory(member.key(), demands);
      CollectCategories(member.value(), demands);
    }
  }
}

Demands FindDemands(const std::string& document) {
  Demands demands;
  json root = json::parse(document, nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded() || !root.is_object()) return demands;
  auto inbounds = root.find("inbounds");
  if (inbounds != root.end() && inbounds->is_array()) {
    for (const json& inbound : *inbounds) {
      auto protocol = inbound.is_object() ? inbound.find("protocol") : inbound.end();
      if (protocol != inbound.end() && *protocol == "tun") demands.tun = true;
    }
  }
  for (const char* section : {"routing", "dns"}) {
    auto found = root.find(section);
    if (found != root.end()) CollectCategories(*found, &demands);
  }
  return demands;
}

std::wstring AssetFolder(const std::wstring& own_folder) {
  DWORD size = ::GetEnvironmentVariableW(L"XRAY_LOCATION_ASSET", nullptr, 0);
  if (size <= 1) return own_folder;
  std::wstring folder(size, L'\0');
  DWORD length = ::GetEnvironmentVariableW(L"XRAY_LOCATION_ASSET", folder.data(), size);
  if (length == 0 || length >= size) return own_folder;
  folder.resize(length);
  return folder;
}

std::wstring Join(const std::wstring& folder, const wchar_t* name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  return folder + L"\\" + name;
}

bool MeetDataFile(const std::string& kind, const std::set<std::string>& categories,
                  const std::wstring& folder, std::string* error) {
  if (categories.empty()) return true;
  const std::wstring path =
      Join(folder, (std::wstring(kind.begin(), kind.end()) + L".dat").c_str());
  const std::string first = kind + ":" + *categories.begin();
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) {
    *error = "Failed to start: failed to load " + first + ": cannot open " + Narrow(path);
    return false;
  }
  std::string text;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, got);
  fclose(file);
  std::istringstream lines(text);
  std::string line;
  std::set<std::string> listed;
  bool has_header = false;
  for (bool first_line = true; std::getline(lines, line); first_line = false) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first_line) {
      has_header = line == "duzavide-standin-" + kind + " 1";
      if (!has_header) break;
    } else {
      listed.insert(Lowercase(line));
    }
  }
  if (!has_header) {
    *error = "Failed to start: failed to load " + first + ": " + Narrow(path) + " is not a " +
             kind + " data file";
    return false;
  }
  for (const std::string& category : categories) {
    if (listed.count(category) == 0) {
      *error = "Failed to start: failed to load " + kind + ":" + category + ": code not found in " +
               Narrow(path);
      return false;
    }
  }
  return true;
}

bool OpenTunLibrary(const std::wstring& own_folder, std::string* error) {
  const std::wstring path = Join(own_folder, L"wintun.dll");
  // An absolute path with these flags loads exactly that file: neither the working
  // folder nor PATH can supply a library of the same name.
  HMODULE library = ::LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) {
    *error = "Failed to start: failed to open the TUN interface: cannot load " + Narrow(path) +
             " (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  using VersionCall = DWORD(WINAPI*)();
  auto version = reinterpret_cast<VersionCall>(
      reinterpret_cast<void*>(::GetProcAddress(library, "WintunGetRunningDriverVersion")));
  if (version == nullptr) {
    *error = "Failed to start: failed to open the TUN interface: " + Narrow(path) +
             " has no WintunGetRunningDriverVersion";
    return false;
  }
  version();
  return true;
}

}  // namespace

bool MeetCoreDemands(const std::string& document, const std::wstring& own_folder,
                     std::string* error) {
  const Demands demands = FindDemands(document);
  const std::wstring assets = AssetFolder(own_folder);
  if (!MeetDataFile("geoip", demands.geoip, assets, error) ||
      !MeetDataFile("geosite", demands.geosite, assets, error)) {
    return false;
  }
  return !demands.tun || OpenTunLibrary(own_folder, error);
}

}  // namespace duzavide::standin
