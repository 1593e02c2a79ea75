// The core's folder and command line.
#include "tunnel/core/core_executable.h"

#include <gtest/gtest.h>

#include <string>

namespace duzavide {
namespace {

TEST(CoreExecutableTest, ParentDirectoryAndCommandLine) {
  struct Case {
    const wchar_t* path;
    const wchar_t* parent;
  } cases[] = {
      {L"C:\\Program Files\\Duzavide\\Duzavide.exe", L"C:\\Program Files\\Duzavide"},
      {L"C:\\dir\\\\app.exe", L"C:\\dir"},
      {L"C:/dir/app.exe", L"C:/dir"},
      {L"C:\\app.exe", L"C:"},
      {L"app.exe", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParentDirectory(c.path), c.parent);
  EXPECT_EQ(CoreCommandLine(L"C:\\a b\\xray.exe", L"C:\\d\\config.json"),
            L"\"C:\\a b\\xray.exe\" run -c \"C:\\d\\config.json\"");
}

}  // namespace
}  // namespace duzavide
