#include "shell/title_bar_theme.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "tests/shell/window_test_support.h"

namespace duzavide {
namespace {

using testing_support::ScopedAttributeRecorder;

class TitleBarThemeTest : public ::testing::Test {
 protected:
  void TearDown() override { testing_support::SetLightThemeValue(std::nullopt); }
};

TEST_F(TitleBarThemeTest, RequestsDarkOrLightOnlyWhenTheThemeValueCanBeRead) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::optional<BOOL> expected_dark;  // nullopt: no request at all
  };
  const Case cases[] = {
      {"light theme off", [] { testing_support::SetLightThemeValue(0); }, TRUE},
      {"light theme on", [] { testing_support::SetLightThemeValue(1); }, FALSE},
      {"any non-zero value", [] { testing_support::SetLightThemeValue(7); }, FALSE},
      {"value missing", [] { testing_support::SetLightThemeValue(std::nullopt); }, std::nullopt},
      {"key missing", [] { testing_support::DeletePersonalizeKey(); }, std::nullopt},
      {"value of another type", [] { testing_support::SetLightThemeText(L"0"); }, std::nullopt},
  };
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4242));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    ScopedAttributeRecorder recorder;
    ApplyTitleBarTheme(window);
    if (!c.expected_dark) {
      EXPECT_TRUE(recorder.requests().empty());
      continue;
    }
    ASSERT_EQ(recorder.requests().size(), 1u);
    const testing_support::AttributeRequest& request = recorder.requests()[0];
    EXPECT_EQ(request.window, window);
    EXPECT_EQ(request.attribute, 20u);
    EXPECT_EQ(request.size, 4u);
    EXPECT_EQ(request.value, *c.expected_dark);
  }
}

}  // namespace
}  // namespace duzavide
