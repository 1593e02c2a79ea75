#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/wide_to_utf8.h"
#include "shell/command_line_arguments.h"

namespace duzavide {
namespace {

TEST(WideToUtf8Test, ConvertsValidTextAndRejectsInvalidUtf16) {
  struct Case {
    const char* name;
    const wchar_t* input;
    std::string expected;
  };
  const Case cases[] = {
      {"null", nullptr, ""},
      {"empty", L"", ""},
      {"ascii", L"--verbose", "--verbose"},
      {"chinese", L"\u8FDE\u63A5", "\xE8\xBF\x9E\xE6\x8E\xA5"},
      {"surrogate pair", L"a\xD83D\xDE00z", "a\xF0\x9F\x98\x80z"},
      {"unpaired high surrogate",
       L"ab\xD800"
       L"cd",
       ""},
      {"unpaired low surrogate", L"\xDC00", ""},
      {"high surrogate at the end", L"abc\xDBFF", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WideToUtf8(c.input), c.expected);
  }
}

TEST(CommandLineArgumentsTest, SkipsTheProgramAndKeepsEveryArgumentsPlace) {
  struct Case {
    const char* name;
    const wchar_t* command_line;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"no arguments", L"Duzavide.exe", {}},
      {"quoted program path", L"\"C:\\Program Files\\Duzavide\\Duzavide.exe\"", {}},
      {"quoted argument with a blank",
       L"Duzavide.exe --first \"second argument\"",
       {"--first", "second argument"}},
      {"non-ascii argument", L"Duzavide.exe \u663E\u793A", {"\xE6\x98\xBE\xE7\xA4\xBA"}},
      {"unpaired surrogate keeps its place", L"Duzavide.exe a \xD800 b", {"a", "", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitCommandLineArguments(c.command_line), c.expected);
  }
}

}  // namespace
}  // namespace duzavide
