// The proxy server's host as a connect takes it from a share link.
#include "tunnel/proxy_host.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace duzavide {
namespace {

TEST(ProxyHostTest, TakesHostBetweenAtAndQuestionMark) {
  struct Case {
    const char* link;
    std::optional<std::string> host;
  } cases[] = {
      {"vless://user@host.test:443?type=tcp", "host.test"},
      {"vless://user@host.test?type=tcp", "host.test"},
      {"vless://user@127.0.0.1:8443?", "127.0.0.1"},
      {"user@host.test:443?x", "host.test"},          // scheme is optional
      {"VLESS://user@host.test:443?x", "host.test"},  // kept: "@" still found
      {"vless://a?b@host.test:1", "host.test"},       // "?" before "@": to the end
      {"vless://u@h:1?q@r:2", "h"},                   // first "@", first "?"
      {"vless://u@:443?x", ""},                       // empty host passes on
      {"vless://user@host.test:443", std::nullopt},   // no "?"
      {"vless://host.test:443?x", std::nullopt},      // no "@"
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(ProxyHostFromShareLink(c.link), c.host);
  }
}

}  // namespace
}  // namespace duzavide
