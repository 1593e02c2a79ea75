// Where the elevated host's data folders lie: never a place the user's programs
// can point elsewhere.
#include "tunnel/data_folder/data_folder_place.h"

#include <gtest/gtest.h>

#include <string>

namespace duzavide {
namespace {

TEST(DataFolderPlaceTest, OnlyTheMachinesRecordOnALocalFixedDriveIsUsed) {
  const std::wstring kSid = L"S-1-5-21-1-2-3-1001";
  struct Case {
    const char* name;
    std::wstring record;
    std::wstring windows;
    std::wstring sid;
    VolumeKind volume;
    std::wstring program_data;  // empty: refused
    std::string refusal;
  } cases[] = {
      {"the usual record", L"%SystemDrive%\\ProgramData", L"D:\\Windows", kSid,
       VolumeKind::kLocalFixed, L"D:\\ProgramData", ""},
      {"no record", L"", L"C:\\Windows", kSid, VolumeKind::kLocalFixed, L"C:\\ProgramData", ""},
      {"a drive path, trailing separator", L"E:\\Data\\", L"C:\\Windows", kSid,
       VolumeKind::kLocalFixed, L"E:\\Data", ""},
      {"any case", L"%systemdrive%\\ProgramData", L"C:\\Windows", kSid, VolumeKind::kLocalFixed,
       L"C:\\ProgramData", ""},
      // Variables the user can set in their own environment are not expanded.
      {"the user's variable", L"%LOCALAPPDATA%", L"C:\\Windows", kSid, VolumeKind::kLocalFixed, L"",
       "the machine's record of the program-data folder names a variable"},
      {"a later variable", L"%SystemDrive%\\%USERNAME%", L"C:\\Windows", kSid,
       VolumeKind::kLocalFixed, L"",
       "the machine's record of the program-data folder names a variable"},
      {"a share", L"\\\\server\\share\\ProgramData", L"C:\\Windows", kSid, VolumeKind::kLocalFixed,
       L"", "the program-data folder is on a network share"},
      {"WebDAV", L"\\\\127.0.0.1@SSL\\DavWWWRoot", L"C:\\Windows", kSid, VolumeKind::kLocalFixed,
       L"", "the program-data folder is on a network share"},
      {"a device path", L"\\\\?\\GLOBALROOT\\Device\\x", L"C:\\Windows", kSid,
       VolumeKind::kLocalFixed, L"", "the program-data folder is on a network share"},
      {"relative", L"ProgramData", L"C:\\Windows", kSid, VolumeKind::kLocalFixed, L"",
       "the program-data folder is not a full path on a drive"},
      {"climbs out", L"C:\\ProgramData\\..\\Users\\u", L"C:\\Windows", kSid,
       VolumeKind::kLocalFixed, L"", "the program-data folder is not a full path on a drive"},
      {"a mapped network drive", L"Z:\\ProgramData", L"C:\\Windows", kSid, VolumeKind::kNetwork,
       L"", "the program-data folder is on a network drive"},
      {"removable", L"", L"C:\\Windows", kSid, VolumeKind::kRemovable, L"",
       "the program-data folder is on a removable drive"},
      {"unknown volume", L"", L"C:\\Windows", kSid, VolumeKind::kOther, L"",
       "the program-data folder is not on a local fixed drive"},
      {"no Windows drive", L"", L"\\\\server\\Windows", kSid, VolumeKind::kLocalFixed, L"",
       "the system's Windows folder is not on a drive"},
      {"no SID", L"", L"C:\\Windows", L"", VolumeKind::kLocalFixed, L"",
       "the user's SID could not be read"},
      {"a SID that names a path", L"", L"C:\\Windows", L"..\\Windows", VolumeKind::kLocalFixed, L"",
       "the user's SID could not be read"},
  };
  for (const Case& c : cases) {
    const DataFolderPlace place = DecideDataFolderPlace({c.record, c.windows, c.sid, c.volume});
    EXPECT_EQ(place.refusal, c.refusal) << c.name;
    EXPECT_EQ(place.program_data, c.program_data) << c.name;
    if (c.program_data.empty()) {
      EXPECT_TRUE(place.shared.empty() && place.per_user.empty()) << c.name;
    } else {
      EXPECT_EQ(place.shared, c.program_data + L"\\Duzavide") << c.name;
      EXPECT_EQ(place.per_user, c.program_data + L"\\Duzavide-" + c.sid) << c.name;
      EXPECT_EQ(place.logs, c.program_data + L"\\Duzavide-" + c.sid + L"-logs") << c.name;
    }
  }
}

}  // namespace
}  // namespace duzavide
