#include "config/dns_section.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "config/builtin_dns_tables.h"

namespace duzavide {
namespace {

using DnsHosts = std::map<std::string, std::vector<std::string>>;

constexpr char kBuiltinHosts[] =
    "{\n"
    R"(      "android.chat.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],)"
    "\n"
    R"(      "api.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],)"
    "\n"
    R"(      "chat.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],)"
    "\n"
    R"(      "domain:chatgpt.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"],)"
    "\n"
    R"(      "ios.chat.openai.com": ["104.18.32.47", "172.64.155.209", "104.18.33.45"])"
    "\n    }";

TEST(DnsSectionTest, RendersHostsObject) {
  struct Case {
    const char* name;
    DnsHosts hosts;
    std::string rendered;
  };
  const Case cases[] = {
      {"builtin_when_empty", {}, kBuiltinHosts},
      {"one_entry_replaces_builtin",
       {{"nas", {"10.1.2.3", "10.1.2.4"}}},
       "{\n      \"nas\": [\"10.1.2.3\", \"10.1.2.4\"]\n    }"},
      {"only_entry_with_empty_list", {{"nas", {}}}, "{\n\n    }"},
      {"empty_key_skipped",
       {{"", {"1.1.1.1"}}, {"a", {"2.2.2.2"}}},
       "{\n      \"a\": [\"2.2.2.2\"]\n    }"},
      {"key_order_bytewise",
       {{"b", {"1"}}, {"a", {"2"}}, {"ab", {"3"}}, {"\xc3\xa9", {"4"}}, {"Z", {"5"}}},
       "{\n      \"Z\": [\"5\"],\n      \"a\": [\"2\"],\n      \"ab\": [\"3\"],\n"
       "      \"b\": [\"1\"],\n      \"\xc3\xa9\": [\"4\"]\n    }"},
      {"empty_list_between_entries",
       {{"a", {"1"}}, {"b", {}}, {"c", {"", "3"}}},
       "{\n      \"a\": [\"1\"],\n      \"c\": [\"3\"]\n    }"},
      {"escaped_key_and_address",
       {{"q\"\x01\n", {"x\\y"}}},
       "{\n      \"q\\\"\\u0001\\n\": [\"x\\\\y\"]\n    }"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RenderDnsHosts(c.hosts), c.rendered);
  }
}

TEST(DnsSectionTest, SelectsServersByCountOnly) {
  const std::vector<std::string> none;
  const std::vector<std::string> two = {"9.9.9.9", "1.1.1.1"};
  const std::vector<std::string> blanks = {"", ""};
  EXPECT_EQ(SelectDnsServers(none),
            (std::vector<std::string>{"10.0.91.21", "10.0.91.16", "10.0.91.20"}));
  EXPECT_EQ(&SelectDnsServers(none), &BuiltinDnsServers());
  EXPECT_EQ(&SelectDnsServers(two), &two);
  EXPECT_EQ(&SelectDnsServers(blanks), &blanks);
}

TEST(DnsSectionTest, BuiltinTablesAreCreatedOnceUnderConcurrentFirstUse) {
  // Run under the sanitizers: a racy first creation shows up here.
  std::vector<const void*> seen(8);
  std::vector<std::string> rendered(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      seen[i] = &BuiltinDnsHosts();
      rendered[i] = RenderDnsHosts({});
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i], seen[0]);
    EXPECT_EQ(rendered[i], kBuiltinHosts);
  }
}

}  // namespace
}  // namespace duzavide
