#include "tunnel/session_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

void Append(SessionLog& log, const std::string& bytes) {
  log.AppendCoreOutput(bytes.data(), bytes.size());
}

TEST(SessionLogTest, EmptyUntilOutputAndTakeClears) {
  SessionLog log;
  EXPECT_EQ(log.TakeLog(), "");
  Append(log, "first\r\npartial");
  EXPECT_EQ(log.TakeLog(), "first\r\npartial");
  EXPECT_EQ(log.TakeLog(), "");
  Append(log, " rest\n");
  EXPECT_EQ(log.TakeLog(), " rest\n");
}

TEST(SessionLogTest, BoundCutsOnlyAboveTheLimit) {
  SessionLog log;
  const std::string read(4095, 'a');
  for (int i = 1; i <= 16; ++i) Append(log, read);
  EXPECT_EQ(log.SizeInUnits(), 16u * 4095u);  // 65520: still below the bound
  Append(log, read);                          // 69615 > 65536
  EXPECT_EQ(log.SizeInUnits(), SessionLog::kKeptUnits);
  Append(log, read);
  EXPECT_EQ(log.SizeInUnits(), SessionLog::kKeptUnits + 4095u);

  SessionLog exact;
  for (int i = 1; i <= 16; ++i) Append(exact, read);
  Append(exact, std::string(16, 'b'));
  EXPECT_EQ(exact.SizeInUnits(), 65536u);  // exactly at the bound: kept whole
  std::string text = exact.TakeLog();
  EXPECT_EQ(text.size(), 65536u);
  EXPECT_EQ(text.substr(65520), std::string(16, 'b'));
}

TEST(SessionLogTest, CutThroughSurrogatePairDropsLoneLowHalf) {
  SessionLog log;
  // 32768 + 2 + 32767 = 65537 units: the kept 32768 start with the low half of
  // U+1D11E.
  Append(log, std::string(32768, 'a') + "\xF0\x9D\x84\x9E" + std::string(32767, 'b'));
  EXPECT_EQ(log.TakeLog(), std::string(32767, 'b'));

  // A cut just before the pair keeps it whole.
  Append(log, std::string(32769, 'a') + "\xF0\x9D\x84\x9E" + std::string(32766, 'b'));
  EXPECT_EQ(log.TakeLog(), "\xF0\x9D\x84\x9E" + std::string(32766, 'b'));
}

TEST(SessionLogTest, CharacterSplitAcrossReadsArrivesWhole) {
  const std::vector<std::string> characters = {"\xC3\xA9", "\xE2\x82\xAC", "\xED\x9F\xBF",
                                               "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"};
  for (const std::string& character : characters) {
    for (size_t split = 1; split < character.size(); ++split) {
      SCOPED_TRACE(testing::Message() << character.size() << "-byte split at " << split);
      SessionLog log;
      Append(log, "x" + character.substr(0, split));
      EXPECT_EQ(log.TakeLog(), "x");  // the started character waits for its rest
      Append(log, character.substr(split) + "y");
      EXPECT_EQ(log.TakeLog(), character + "y");
    }
  }
  // Three reads of one byte each.
  SessionLog log;
  for (char byte : std::string("\xF0\x9F\x98\x80")) Append(log, std::string(1, byte));
  EXPECT_EQ(log.TakeLog(), "\xF0\x9F\x98\x80");
}

TEST(SessionLogTest, InvalidBytesAreReplacedWithoutWaiting) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"stray continuation", "a\x80"},   {"byte never used", "a\xFF"},
      {"overlong lead", "a\xC0"},        {"surrogate prefix", "a\xED\xA0"},
      {"too-large prefix", "a\xF4\x90"}, {"prefix then ascii", "a\xE2\x82z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionLog log;
    Append(log, c.bytes);
    std::string text = log.TakeLog();
    EXPECT_EQ(text.substr(0, 1), "a");
    EXPECT_NE(text.find(kReplacement), std::string::npos);
  }
}

TEST(SessionLogTest, FlushConvertsWhatWasHeldBack) {
  SessionLog log;
  Append(log, "end\xE2\x82");
  EXPECT_EQ(log.TakeLog(), "end");
  log.FlushCoreOutput();
  std::string text = log.TakeLog();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_not_of(kReplacement), std::string::npos) << text;
  // Nothing is carried into the next run's output.
  Append(log, "next");
  EXPECT_EQ(log.TakeLog(), "next");
}

}  // namespace
}  // namespace duzavide
