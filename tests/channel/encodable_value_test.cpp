#include "channel/encodable_value.h"

#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/channel/codec_test_util.h"

namespace duzavide {
namespace {

TEST(EncodableValueTest, DefaultIsNullAndLiteralIsString) {
  EXPECT_TRUE(EncodableValue().IsNull());
  EXPECT_EQ(EncodableValue().index(), 0u);
  // A literal must not decay to bool.
  EncodableValue text = "x";
  EXPECT_EQ(std::get<std::string>(text), "x");
  text = "y";
  EXPECT_EQ(std::get<std::string>(text), "y");
  EXPECT_THROW(std::get<int32_t>(text), std::bad_variant_access);
}

TEST(EncodableValueTest, AlternativesSitAtTheirFixedPositions) {
  const struct {
    EncodableValue value;
    size_t position;
  } kCases[] = {
      {EncodableValue(), 0},
      {EncodableValue(true), 1},
      {EncodableValue(int32_t{1}), 2},
      {EncodableValue(int64_t{1}), 3},
      {EncodableValue(1.0), 4},
      {EncodableValue(std::string("s")), 5},
      {EncodableValue(std::vector<uint8_t>{1}), 6},
      {EncodableValue(std::vector<int32_t>{1}), 7},
      {EncodableValue(std::vector<int64_t>{1}), 8},
      {EncodableValue(std::vector<double>{1}), 9},
      {EncodableValue(EncodableList{}), 10},
      {EncodableValue(EncodableMap{}), 11},
      {EncodableValue(CustomEncodableValue(std::any(3))), 12},
      {EncodableValue(std::vector<float>{1}), 13},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.value.index(), c.position);
}

TEST(EncodableValueTest, KeyOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EncodableValue custom_a(CustomEncodableValue(std::any(1)));
  // Each row: first orders strictly before second.
  const struct {
    const char* name;
    EncodableValue first;
    EncodableValue second;
  } kCases[] = {
      {"null before bool", EncodableValue(), EncodableValue(false)},
      {"false before true", EncodableValue(false), EncodableValue(true)},
      {"bool before int32", EncodableValue(true), EncodableValue(int32_t{-5})},
      {"int32 signed", EncodableValue(int32_t{-1}), EncodableValue(int32_t{0})},
      {"int32 before int64", EncodableValue(int32_t{9}), EncodableValue(int64_t{-9})},
      {"int64 signed", EncodableValue(int64_t{-1}), EncodableValue(int64_t{1})},
      {"int64 before double", EncodableValue(int64_t{9}), EncodableValue(-1.0)},
      {"double numeric", EncodableValue(-inf), EncodableValue(-0.5)},
      {"nan after numbers", EncodableValue(inf), EncodableValue(nan)},
      {"double before string", EncodableValue(1.0), EncodableValue("")},
      {"empty string first", EncodableValue(""), EncodableValue("a")},
      {"prefix first", EncodableValue("a"), EncodableValue("ab")},
      {"byte order", EncodableValue("ab"), EncodableValue("b")},
      {"unsigned bytes", EncodableValue("\x7f"), EncodableValue("\x80")},
      {"string before bytes", EncodableValue("zz"), EncodableValue(std::vector<uint8_t>{})},
      {"bytes unsigned", EncodableValue(std::vector<uint8_t>{0x7f}),
       EncodableValue(std::vector<uint8_t>{0x80})},
      {"bytes prefix", EncodableValue(std::vector<uint8_t>{1}),
       EncodableValue(std::vector<uint8_t>{1, 0})},
      {"int32 list signed", EncodableValue(std::vector<int32_t>{-1}),
       EncodableValue(std::vector<int32_t>{0})},
      {"int64 list prefix", EncodableValue(std::vector<int64_t>{5}),
       EncodableValue(std::vector<int64_t>{5, -9})},
      {"double list", EncodableValue(std::vector<double>{-1.5}),
       EncodableValue(std::vector<double>{2.0})},
      {"list elementwise", EncodableValue(EncodableList{int32_t{1}, "z"}),
       EncodableValue(EncodableList{int32_t{2}})},
      {"list prefix", EncodableValue(EncodableList{int32_t{1}}),
       EncodableValue(EncodableList{int32_t{1}, EncodableValue()})},
      {"list element position", EncodableValue(EncodableList{int32_t{7}}),
       EncodableValue(EncodableList{"a"})},
      {"map by key", EncodableValue(EncodableMap{{int32_t{1}, int32_t{9}}}),
       EncodableValue(EncodableMap{{int32_t{2}, int32_t{0}}})},
      {"map by value", EncodableValue(EncodableMap{{int32_t{1}, int32_t{2}}}),
       EncodableValue(EncodableMap{{int32_t{1}, int32_t{3}}})},
      {"map prefix", EncodableValue(EncodableMap{{int32_t{1}, int32_t{2}}}),
       EncodableValue(EncodableMap{{int32_t{1}, int32_t{2}}, {int32_t{3}, int32_t{4}}})},
      {"map before custom", EncodableValue(EncodableMap{}), custom_a},
      {"custom before float list", custom_a, EncodableValue(std::vector<float>{})},
      {"float list", EncodableValue(std::vector<float>{1.0f}),
       EncodableValue(std::vector<float>{2.0f})},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.first < c.second);
    EXPECT_FALSE(c.second < c.first);
    EXPECT_NE(c.first, c.second);
  }
}

TEST(EncodableValueTest, SameKey) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    EncodableValue first;
    EncodableValue second;
    bool same;
  } kCases[] = {
      {"nulls", EncodableValue(), EncodableValue(), true},
      {"string 1 and int32 1", EncodableValue("1"), EncodableValue(int32_t{1}), false},
      {"int32 1 and int64 1", EncodableValue(int32_t{1}), EncodableValue(int64_t{1}), false},
      {"zero signs", EncodableValue(0.0), EncodableValue(-0.0), true},
      {"nans", EncodableValue(nan), EncodableValue(nan), true},
      {"float lists, nan and number", EncodableValue(std::vector<float>{std::nanf("")}),
       EncodableValue(std::vector<float>{1.0f}), false},
      {"equal nested", EncodableValue(EncodableList{EncodableMap{{"k", "v"}}}),
       EncodableValue(EncodableList{EncodableMap{{"k", "v"}}}), true},
      {"empty string and empty bytes", EncodableValue(""), EncodableValue(std::vector<uint8_t>{}),
       false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.first == c.second, c.same);
    EXPECT_FALSE(c.first < c.second && c.same);
    EXPECT_FALSE(c.second < c.first && c.same);
  }
}

TEST(EncodableValueTest, CustomHoldersAreKeysByIdentity) {
  EncodableValue holder(CustomEncodableValue(std::any(std::string("same"))));
  EncodableValue copy = holder;
  EXPECT_EQ(holder, holder);
  EXPECT_NE(holder, copy);  // a copy is another object
  EncodableMap map;
  map.emplace(holder, int32_t{1});
  map.emplace(copy, int32_t{2});
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(std::any_cast<std::string>(std::get<CustomEncodableValue>(copy).value()), "same");
}

TEST(EncodableValueTest, MapIteratesInKeyOrder) {
  EncodableMap map;
  map.emplace("b", int32_t{0});
  map.emplace("a", int32_t{0});
  map.emplace(int32_t{2}, int32_t{0});
  map.emplace(int32_t{1}, int32_t{0});
  map.emplace(EncodableValue(), int32_t{0});
  map.emplace(EncodableValue(), int32_t{1});  // all nulls are one key
  std::vector<EncodableValue> keys;
  for (const auto& entry : map) keys.push_back(entry.first);
  const std::vector<EncodableValue> expected = {EncodableValue(), int32_t{1}, int32_t{2}, "a", "b"};
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(std::get<int32_t>(map.at(EncodableValue())), 0);
}

TEST(EncodableValueTest, CopyIsDeep) {
  EncodableValue original(EncodableMap{{"list", EncodableList{int32_t{1}}}});
  EncodableValue copy = original;
  std::get<EncodableList>(std::get<EncodableMap>(copy).at("list")).push_back(int32_t{2});
  EXPECT_EQ(std::get<EncodableList>(std::get<EncodableMap>(original).at("list")).size(), 1u);
}

}  // namespace
}  // namespace duzavide
