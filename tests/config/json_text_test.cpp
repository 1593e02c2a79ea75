#include "config/json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

TEST(JsonTextTest, QuotesAndEscapesEachByte) {
  struct Case {
    std::string input;
    std::string quoted;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"a\"b", R"("a\"b")"},
      {"\\", R"("\\")"},
      {"\n", R"("\n")"},
      {"\r\n", R"("\r\n")"},
      {"\x0b", R"("\u000b")"},
      {std::string(1, '\0'), R"("\u0000")"},
      {"\x1b", R"("\u001b")"},
      {"/", R"("/")"},
      {"\x7f", "\"\x7f\""},
      {"\xc3\xa9", "\"\xc3\xa9\""},
      {"\b\t\f", R"("\b\t\f")"},
      {"\x01\x1f\x10", R"("\u0001\u001f\u0010")"},
      {"\x80\xff ", "\"\x80\xff \""},
      {std::string("a\0b", 3), R"("a\u0000b")"},
      {"}]\",", R"("}]\",")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    EXPECT_EQ(QuoteJsonString(c.input), c.quoted);
    EXPECT_EQ(EscapeJsonString(c.input), c.quoted.substr(1, c.quoted.size() - 2));
  }
}

TEST(JsonTextTest, RendersListsSkippingEmptyItems) {
  struct Case {
    std::vector<std::string> items;
    std::string rendered;
  };
  const Case cases[] = {
      {{"10.0.91.21", "", "10.0.91.16"}, R"(["10.0.91.21", "10.0.91.16"])"},
      {{}, "[]"},
      {{"", ""}, "[]"},
      {{"one"}, R"(["one"])"},
      {{"", "x"}, R"(["x"])"},
      {{"a\"", "b\\"}, R"(["a\"", "b\\"])"},
      {{"a", "b", "c"}, R"(["a", "b", "c"])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rendered);
    EXPECT_EQ(RenderJsonStringList(c.items), c.rendered);
  }
}

}  // namespace
}  // namespace duzavide
