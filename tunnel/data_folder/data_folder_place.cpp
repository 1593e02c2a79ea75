#include "tunnel/data_folder/data_folder_place.h"

namespace duzavide {
namespace {

constexpr wchar_t kSystemDrive[] = L"%SYSTEMDRIVE%";

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[i]) != Upper(prefix[i])) return false;
  }
  return true;
}

bool IsDriveLetter(wchar_t c) { return (Upper(c) >= L'A' && Upper(c) <= L'Z'); }

DataFolderPlace Refused(const std::string& reason) {
  DataFolderPlace place;
  place.refusal = reason;
  return place;
}

}  // namespace

DataFolderPlace DecideDataFolderPlace(const DataFolderPlaceFacts& facts) {
  const std::wstring& windows = facts.windows_folder;
  if (windows.size() < 3 || !IsDriveLetter(windows[0]) || windows[1] != L':' ||
      windows[2] != L'\\') {
    return Refused("the system's Windows folder is not on a drive");
  }
  const std::wstring drive = windows.substr(0, 2);
  std::wstring folder = facts.program_data_record;
  if (folder.empty()) {
    folder = drive + L"\\ProgramData";
  } else if (StartsWithIgnoringCase(folder, kSystemDrive)) {
    folder = drive + folder.substr(std::wstring(kSystemDrive).size());
  }
  if (folder.find(L'%') != std::wstring::npos) {
    return Refused("the machine's record of the program-data folder names a variable");
  }
  if (folder.size() >= 2 && (folder[0] == L'\\' || folder[0] == L'/') &&
      (folder[1] == L'\\' || folder[1] == L'/')) {
    return Refused("the program-data folder is on a network share");
  }
  if (folder.size() < 4 || !IsDriveLetter(folder[0]) || folder[1] != L':' || folder[2] != L'\\' ||
      folder.find(L"\\..") != std::wstring::npos) {
    return Refused("the program-data folder is not a full path on a drive");
  }
  switch (facts.volume) {
    case VolumeKind::kLocalFixed:
      break;
    case VolumeKind::kNetwork:
      return Refused("the program-data folder is on a network drive");
    case VolumeKind::kRemovable:
      return Refused("the program-data folder is on a removable drive");
    case VolumeKind::kOther:
      return Refused("the program-data folder is not on a local fixed drive");
  }
  if (facts.user_sid.empty() || facts.user_sid.find_first_of(L"\\/:.") != std::wstring::npos) {
    return Refused("the user's SID could not be read");
  }
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  DataFolderPlace place;
  place.program_data = folder;
  place.shared = folder + L"\\Duzavide";
  place.per_user = folder + L"\\Duzavide-" + facts.user_sid;
  place.logs = place.per_user + L"-logs";
  return place;
}

}  // namespace duzavide
