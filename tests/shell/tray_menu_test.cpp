#include "shell/tray_menu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/tray_icon.h"

namespace duzavide {
namespace {

struct ExpectedItem {
  bool separator;
  UINT id;
  const wchar_t* text;  // spelled with code points, independent of the source encoding
};

const ExpectedItem kExpectedItems[] = {
    {false, 1001, L"\u663E\u793A\u7A97\u53E3"},
    {true, 0, nullptr},
    {false, 1002, L"\u8FDE\u63A5 VPN"},
    {false, 1003, L"\u65AD\u5F00\u8FDE\u63A5"},
    {true, 0, nullptr},
    {false, 1004, L"\u9000\u51FA"},
};

TEST(TrayMenuTest, HoldsTheSixEntriesInOrderAndGraysExactlyOneByConnectionState) {
  for (const bool connected : {false, true}) {
    SCOPED_TRACE(connected ? "connected" : "disconnected");
    HMENU menu = CreateTrayMenu(connected);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(::GetMenuItemCount(menu), 6);
    for (int position = 0; position < 6; ++position) {
      SCOPED_TRACE(position);
      const ExpectedItem& expected = kExpectedItems[position];
      wchar_t text[64] = {};
      MENUITEMINFOW info{};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
      info.dwTypeData = text;
      info.cch = 64;
      ASSERT_TRUE(::GetMenuItemInfoW(menu, position, TRUE, &info));
      EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, expected.separator);
      EXPECT_EQ(info.wID, expected.id);
      if (!expected.separator) {
        EXPECT_EQ(std::wstring(text), std::wstring(expected.text));
      }
      const bool should_be_grayed = (connected && expected.id == kTrayCommandConnect) ||
                                    (!connected && expected.id == kTrayCommandDisconnect);
      if (!expected.separator) {
        EXPECT_EQ((info.fState & MFS_GRAYED) != 0, should_be_grayed);
      }
    }
    ::DestroyMenu(menu);
  }
}

TEST(TrayIconTest, AddRecordDescribesTheIconAndDeleteRecordOnlyIdentifiesIt) {
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
  const NOTIFYICONDATAW add = MakeTrayIconAddRecord(window);
  EXPECT_EQ(add.cbSize, 976u);
  EXPECT_EQ(add.hWnd, window);
  EXPECT_EQ(add.uID, 1u);
  EXPECT_EQ(add.uFlags, 7u);
  EXPECT_EQ(add.uCallbackMessage, 0x8001u);
  EXPECT_NE(add.hIcon, nullptr);  // falls back to the system icon without the resource
  EXPECT_EQ(std::wstring(add.szTip), L"Duzavide VPN");
  EXPECT_EQ(add.uVersion, 0u);

  NOTIFYICONDATAW expected_delete{};
  expected_delete.cbSize = 976;
  expected_delete.hWnd = window;
  expected_delete.uID = 1;
  const NOTIFYICONDATAW removal = MakeTrayIconDeleteRecord(window);
  EXPECT_EQ(std::memcmp(&removal, &expected_delete, sizeof(removal)), 0);
}

}  // namespace
}  // namespace duzavide
