// Dotted-decimal IPv4 text, both ways.
#include "base/ipv4_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace duzavide {
namespace {

TEST(Ipv4TextTest, OnlyStrictDottedDecimalParsesAndEveryAddressComesBack) {
  struct Case {
    std::string text;
    std::optional<uint32_t> address;
  } cases[] = {
      {"0.0.0.0", 0},
      {"127.0.0.1", 0x7F000001},
      {"10.67.0.2", 0x0A430002},
      {"255.255.255.255", 0xFFFFFFFF},
      {"256.0.0.1", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1.2.3.", std::nullopt},
      {".1.2.3", std::nullopt},
      {"1..2.3", std::nullopt},
      {"01.2.3.4", std::nullopt},   // a leading zero: octal to some readers
      {"1.2.3.0x4", std::nullopt},  // hexadecimal
      {"1.2.3.1000", std::nullopt},
      {"+1.2.3.4", std::nullopt},
      {"1.2.3.4 ", std::nullopt},
      {std::string("1.2.3.4\0", 8), std::nullopt},
      {"127.1", std::nullopt},  // shortened forms are not dotted decimal
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseDottedIPv4(c.text), c.address);
    if (c.address) EXPECT_EQ(DottedIPv4(*c.address), c.text);
  }
}

}  // namespace
}  // namespace duzavide
