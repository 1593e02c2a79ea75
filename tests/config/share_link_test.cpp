#include "config/share_link.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace duzavide {
namespace {

// Expected parse of one link. Settings not named take their defaults, which the
// table states explicitly so a wrong default cannot hide.
struct ParseCase {
  const char* name = "";
  std::string link;
  bool parses = false;
  std::string id;
  std::string address;
  std::string port;
  std::map<std::string, std::string> parameters;
  std::string encryption = "none";
  std::string flow = "xtls-rprx-vision";
  std::string security = "reality";
  std::string publicKey;
  std::string shortId;
  std::string spiderX;
  std::string fingerprint = "chrome";
  std::string serverName = "h";
};

ParseCase Fails(const char* name, std::string link) {
  ParseCase c;
  c.name = name;
  c.link = std::move(link);
  c.parses = false;
  return c;
}

ParseCase Parses(const char* name, std::string link, std::string id, std::string address,
                 std::string port, std::map<std::string, std::string> parameters) {
  ParseCase c;
  c.name = name;
  c.link = std::move(link);
  c.parses = true;
  c.id = std::move(id);
  c.address = address;
  c.port = std::move(port);
  c.parameters = std::move(parameters);
  c.serverName = address;
  return c;
}

std::vector<ParseCase> Cases() {
  std::vector<ParseCase> cases;
  auto add = [&cases](ParseCase c) { cases.push_back(std::move(c)); };

  {
    ParseCase c = Parses("blanks_trimmed_before_prefix", "  vless://u@h:443?security=reality\r\n",
                         "u", "h", "443", {{"security", "reality"}});
    add(c);
  }
  add(Parses("no_scheme", "u@h:443?x=1", "u", "h", "443", {{"x", "1"}}));
  add(Parses("with_scheme", "vless://u@h:443?x=1", "u", "h", "443", {{"x", "1"}}));
  {
    ParseCase c =
        Parses("default_port_and_empty_fp", "vless://u@h?fp=", "u", "h", "8720", {{"fp", ""}});
    c.fingerprint = "";
    add(c);
  }
  add(Fails("no_question_mark", "vless://u@h:443"));
  add(Fails("no_at_sign", "vless://h:443?x=1"));
  add(Fails("only_blanks", " \t\r\n"));
  add(Fails("empty", ""));
  add(Parses("empty_query_all_defaults", "vless://u@h:443?", "u", "h", "443", {}));
  add(Parses("empty_port", "vless://u@h:?a=1", "u", "h", "", {{"a", "1"}}));
  {
    ParseCase c = Parses("sni_beats_server_name", "vless://u@h:443?sni=a&serverName=b", "u", "h",
                         "443", {{"sni", "a"}, {"serverName", "b"}});
    c.serverName = "a";
    add(c);
  }
  {
    ParseCase c = Parses("server_name_alone", "vless://u@h:443?serverName=b", "u", "h", "443",
                         {{"serverName", "b"}});
    c.serverName = "b";
    add(c);
  }
  {
    ParseCase c = Parses("last_occurrence_wins", "vless://u@h:443?sid=1&sid=2", "u", "h", "443",
                         {{"sid", "2"}});
    c.shortId = "2";
    add(c);
  }
  {
    ParseCase c =
        Parses("no_percent_decoding", "vless://u@h:443?spx=%2F", "u", "h", "443", {{"spx", "%2F"}});
    c.spiderX = "%2F";
    add(c);
  }
  {
    ParseCase c = Parses("fragment_stays_in_value", "vless://u@h:443?sid=ab#home", "u", "h", "443",
                         {{"sid", "ab#home"}});
    c.shortId = "ab#home";
    add(c);
  }
  add(Parses("piece_without_equals_ignored", "vless://u@h:443?flag&k=v", "u", "h", "443",
             {{"k", "v"}}));
  add(Parses("question_before_at", "vless://a?b@h:1?c=d", "a?b", "h", "1?c=d", {{"b@h:1?c", "d"}}));
  {
    ParseCase c =
        Parses("upper_case_scheme_kept", "VLESS://u@h:1?x=y", "VLESS://u", "h", "1", {{"x", "y"}});
    add(c);
  }
  add(Parses("empty_pieces_and_key", "u@h:1?&&=v&k==x=&", "u", "h", "1",
             {{"", "v"}, {"k", "=x="}}));
  add(Parses("ipv6_split_at_first_colon", "u@[::1]:443?", "u", "[", ":1]:443", {}));
  {
    ParseCase c = Parses("long_keys_and_short_keys",
                         "u@h:1?publicKey=P&pbk=p&shortId=S&spiderX=X&fingerprint=F&encryption=e"
                         "&flow=f&security=tls&SNI=upper",
                         "u", "h", "1",
                         {{"publicKey", "P"},
                          {"pbk", "p"},
                          {"shortId", "S"},
                          {"spiderX", "X"},
                          {"fingerprint", "F"},
                          {"encryption", "e"},
                          {"flow", "f"},
                          {"security", "tls"},
                          {"SNI", "upper"}});
    c.publicKey = "p";
    c.shortId = "S";
    c.spiderX = "X";
    c.fingerprint = "F";
    c.encryption = "e";
    c.flow = "f";
    c.security = "tls";
    add(c);
  }
  {
    ParseCase c = Parses("fp_beats_fingerprint", "u@h:1?fp=f&fingerprint=F", "u", "h", "1",
                         {{"fp", "f"}, {"fingerprint", "F"}});
    c.fingerprint = "f";
    add(c);
  }
  {
    ParseCase c = Parses("present_but_empty_beats_default", "u@h:1?sni=&flow=", "u", "h", "1",
                         {{"sni", ""}, {"flow", ""}});
    c.serverName = "";
    c.flow = "";
    add(c);
  }
  return cases;
}

TEST(ShareLinkTest, ParsesEveryExample) {
  for (const ParseCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const auto link = ParseShareLink(c.link);
    ASSERT_EQ(link.has_value(), c.parses);
    if (!link) continue;
    EXPECT_EQ(link->id, c.id);
    EXPECT_EQ(link->address, c.address);
    EXPECT_EQ(link->port, c.port);
    EXPECT_EQ(link->parameters, c.parameters);
    EXPECT_EQ(link->encryption, c.encryption);
    EXPECT_EQ(link->flow, c.flow);
    EXPECT_EQ(link->security, c.security);
    EXPECT_EQ(link->publicKey, c.publicKey);
    EXPECT_EQ(link->shortId, c.shortId);
    EXPECT_EQ(link->spiderX, c.spiderX);
    EXPECT_EQ(link->fingerprint, c.fingerprint);
    EXPECT_EQ(link->serverName, c.serverName);
  }
}

}  // namespace
}  // namespace duzavide
