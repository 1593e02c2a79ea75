#include "tunnel/control_channel.h"

#include <gtest/gtest.h>

#include <optional>

#include "tunnel/connect_request_decoder.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {
namespace {

EncodableValue Text(const char* text) { return EncodableValue(std::string(text)); }

EncodableMap FullWireGuard() {
  return EncodableMap{{Text("private_key"), Text("priv")},
                      {Text("address"), Text("10.0.0.2/32")},
                      {Text("server_public_key"), Text("pub")},
                      {Text("relay_address"), Text("198.51.100.7")},
                      {Text("relay_port"), EncodableValue(int32_t{4000})},
                      {Text("mtu"), EncodableValue(int64_t{1400})},
                      {Text("keepalive"), EncodableValue(int32_t{10})}};
}

EncodableMap Arguments(EncodableMap wireguard, std::optional<EncodableMap> policy = {}) {
  EncodableMap arguments{{Text("vlessUrl"), Text("vless://u@h:1?x=1")},
                         {Text("wireguard"), EncodableValue(std::move(wireguard))}};
  if (policy) arguments[Text("routePolicy")] = EncodableValue(*policy);
  return arguments;
}

EncodableMap WireGuardWith(const char* key, EncodableValue value) {
  EncodableMap wireguard = FullWireGuard();
  wireguard[Text(key)] = std::move(value);
  return wireguard;
}

ConnectRequest FullRequest() {
  ConnectRequest request;
  request.vlessUrl = "vless://u@h:1?x=1";
  request.private_key = "priv";
  request.address = "10.0.0.2/32";
  request.server_public_key = "pub";
  request.relay_address = "198.51.100.7";
  request.relay_port = 4000;
  request.mtu = 1400;
  request.keepalive = 10;
  return request;
}

struct DecodeCase {
  const char* name;
  std::optional<EncodableValue> arguments;
  bool valid;
  ConnectRequest expected;
};

ConnectRequest With(void (*change)(ConnectRequest*)) {
  ConnectRequest request = FullRequest();
  change(&request);
  return request;
}

TEST(DecodeConnectRequestTest, FollowsEveryRule) {
  EncodableMap no_private_key = FullWireGuard();
  no_private_key.erase(Text("private_key"));
  EncodableMap top_level_dns = Arguments(FullWireGuard());
  top_level_dns[Text("dns_hosts")] = EncodableValue(
      EncodableMap{{Text("a.test"), EncodableValue(EncodableList{Text("1.2.3.4")})}});
  top_level_dns[Text("dns_servers")] = EncodableValue(EncodableList{Text("9.9.9.9")});
  EncodableMap bytes_key = Arguments(FullWireGuard());
  bytes_key.erase(Text("vlessUrl"));
  bytes_key[EncodableValue(std::vector<uint8_t>{'v', 'l', 'e', 's', 's', 'U', 'r', 'l'})] =
      Text("vless://u@h:1?x=1");
  EncodableMap url_as_number = Arguments(FullWireGuard());
  url_as_number[Text("vlessUrl")] = EncodableValue(int32_t{7});
  EncodableMap empty_url = Arguments(FullWireGuard());
  empty_url[Text("vlessUrl")] = Text("");
  EncodableMap wireguard_as_list = Arguments(FullWireGuard());
  wireguard_as_list[Text("wireguard")] = EncodableValue(EncodableList{Text("priv")});

  EncodableMap hosts{
      {Text("b.test"), EncodableValue(EncodableList{Text(""), Text("2.2.2.2"),
                                                    EncodableValue(int32_t{5}), Text("3.3.3.3")})},
      {Text("a.test"), EncodableValue(EncodableList{Text("1.1.1.1")})},
      {Text("a"), EncodableValue(EncodableList{Text("4.4.4.4")})},
      {Text(""), EncodableValue(EncodableList{Text("5.5.5.5")})},
      {Text("empty.test"), EncodableValue(EncodableList{Text(""), EncodableValue(int32_t{1})})},
      {Text("text.test"), Text("6.6.6.6")},
      {EncodableValue(int32_t{1}), EncodableValue(EncodableList{Text("7.7.7.7")})}};
  EncodableMap policy{
      {Text("dns_hosts"), EncodableValue(hosts)},
      {Text("dns_servers"), EncodableValue(EncodableList{Text("8.8.8.8"), Text(""),
                                                         EncodableValue(true), Text("1.0.0.1")})},
      {Text("other"), Text("ignored")}};
  EncodableMap policy_wrong_kinds{{Text("dns_hosts"), EncodableValue(EncodableList{})},
                                  {Text("dns_servers"), Text("8.8.8.8")}};
  EncodableMap routed_as_list = Arguments(FullWireGuard());
  routed_as_list[Text("routePolicy")] = EncodableValue(EncodableList{EncodableValue(policy)});

  const DecodeCase cases[] = {
      {"absent arguments", std::nullopt, false, ConnectRequest()},
      {"list arguments", EncodableValue(EncodableList{EncodableValue(Arguments(FullWireGuard()))}),
       false, ConnectRequest()},
      {"text arguments", Text("connect"), false, ConnectRequest()},
      {"null arguments", EncodableValue(), false, ConnectRequest()},
      {"full request", EncodableValue(Arguments(FullWireGuard())), true, FullRequest()},
      {"empty address is valid", EncodableValue(Arguments(WireGuardWith("address", Text("")))),
       true, With([](ConnectRequest* r) { r->address.clear(); })},
      {"missing private key", EncodableValue(Arguments(no_private_key)), false,
       With([](ConnectRequest* r) { r->private_key.clear(); })},
      {"empty server key", EncodableValue(Arguments(WireGuardWith("server_public_key", Text("")))),
       false, With([](ConnectRequest* r) { r->server_public_key.clear(); })},
      {"url as number", EncodableValue(url_as_number), false,
       With([](ConnectRequest* r) { r->vlessUrl.clear(); })},
      {"empty url", EncodableValue(empty_url), false,
       With([](ConnectRequest* r) { r->vlessUrl.clear(); })},
      {"key of another kind never matches", EncodableValue(bytes_key), false,
       With([](ConnectRequest* r) { r->vlessUrl.clear(); })},
      {"wireguard as list", EncodableValue(wireguard_as_list), false, With([](ConnectRequest* r) {
         ConnectRequest defaults;
         defaults.vlessUrl = r->vlessUrl;
         *r = defaults;
       })},
      {"private key as bytes",
       EncodableValue(
           Arguments(WireGuardWith("private_key", EncodableValue(std::vector<uint8_t>{1, 2})))),
       false, With([](ConnectRequest* r) { r->private_key.clear(); })},
      {"relay port 65536 keeps low 16 bits",
       EncodableValue(Arguments(WireGuardWith("relay_port", EncodableValue(int32_t{65536})))), true,
       With([](ConnectRequest* r) { r->relay_port = 0; })},
      {"relay port 64-bit keeps low bits",
       EncodableValue(
           Arguments(WireGuardWith("relay_port", EncodableValue(int64_t{0x100000000LL + 65537})))),
       true, With([](ConnectRequest* r) { r->relay_port = 1; })},
      {"relay port -1", EncodableValue(Arguments(WireGuardWith("relay_port", EncodableValue(-1)))),
       true, With([](ConnectRequest* r) { r->relay_port = 65535; })},
      {"relay port as double keeps default",
       EncodableValue(Arguments(WireGuardWith("relay_port", EncodableValue(443.0)))), true,
       With([](ConnectRequest* r) { r->relay_port = 51821; })},
      {"relay port as text keeps default",
       EncodableValue(Arguments(WireGuardWith("relay_port", Text("443")))), true,
       With([](ConnectRequest* r) { r->relay_port = 51821; })},
      {"mtu as bool keeps default",
       EncodableValue(Arguments(WireGuardWith("mtu", EncodableValue(true)))), true,
       With([](ConnectRequest* r) { r->mtu = 1200; })},
      {"mtu 70000", EncodableValue(Arguments(WireGuardWith("mtu", EncodableValue(int64_t{70000})))),
       true, With([](ConnectRequest* r) { r->mtu = 4464; })},
      {"keepalive 0", EncodableValue(Arguments(WireGuardWith("keepalive", EncodableValue(0)))),
       true, With([](ConnectRequest* r) { r->keepalive = 0; })},
      {"keepalive as double keeps default",
       EncodableValue(Arguments(WireGuardWith("keepalive", EncodableValue(30.0)))), true,
       With([](ConnectRequest* r) { r->keepalive = 25; })},
      {"route policy entries filtered", EncodableValue(Arguments(FullWireGuard(), policy)), true,
       With([](ConnectRequest* r) {
         r->dns_hosts = {
             {"a", {"4.4.4.4"}}, {"a.test", {"1.1.1.1"}}, {"b.test", {"2.2.2.2", "3.3.3.3"}}};
         r->dns_servers = {"8.8.8.8", "1.0.0.1"};
       })},
      {"route policy values of other kinds",
       EncodableValue(Arguments(FullWireGuard(), policy_wrong_kinds)), true, FullRequest()},
      {"route policy as list", EncodableValue(routed_as_list), true, FullRequest()},
      {"top-level dns keys ignored", EncodableValue(top_level_dns), true, FullRequest()},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectRequest decoded;
    bool valid = DecodeConnectRequest(c.arguments ? &*c.arguments : nullptr, &decoded);
    EXPECT_EQ(valid, c.valid);
    EXPECT_EQ(decoded.vlessUrl, c.expected.vlessUrl);
    EXPECT_EQ(decoded.private_key, c.expected.private_key);
    EXPECT_EQ(decoded.address, c.expected.address);
    EXPECT_EQ(decoded.server_public_key, c.expected.server_public_key);
    EXPECT_EQ(decoded.relay_address, c.expected.relay_address);
    EXPECT_EQ(decoded.relay_port, c.expected.relay_port);
    EXPECT_EQ(decoded.mtu, c.expected.mtu);
    EXPECT_EQ(decoded.keepalive, c.expected.keepalive);
    EXPECT_EQ(decoded.dns_hosts, c.expected.dns_hosts);
    EXPECT_EQ(decoded.dns_servers, c.expected.dns_servers);
  }
}

// What a MethodResult received.
struct Reply {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  std::optional<EncodableValue> value;
  int calls = 0;
};

class RecordingResult : public MethodResult {
 public:
  explicit RecordingResult(Reply* reply) : reply_(reply) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    reply_->kind = Reply::Kind::kSuccess;
    if (result != nullptr) reply_->value = *result;
    ++reply_->calls;
  }
  void ErrorInternal(const std::string&, const std::string&, const EncodableValue*) override {
    reply_->kind = Reply::Kind::kError;
    ++reply_->calls;
  }
  void NotImplementedInternal() override {
    reply_->kind = Reply::Kind::kNotImplemented;
    ++reply_->calls;
  }

 private:
  Reply* reply_;
};

Reply Call(TunnelSession& session, const std::string& method,
           std::optional<EncodableValue> arguments = std::nullopt) {
  Reply reply;
  MethodCall call(method, arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr);
  RecordingResult result(&reply);
  SendControlChannelReply(RunControlChannelCall(session, call), result);
  return reply;
}

TEST(ControlChannelTest, RepliesOnceWithExactValuesWhenIdle) {
  TunnelSession session;
  int lines = 0;
  session.SetLineObserver([&lines](const std::string&) { ++lines; });
  const EncodableValue kNotImplemented = Text("not implemented");
  EncodableMap zero_stats{{Text("downlinkBytes"), EncodableValue(int64_t{0})},
                          {Text("uplinkBytes"), EncodableValue(int64_t{0})}};
  struct HandlerCase {
    const char* method;
    std::optional<EncodableValue> arguments;
    EncodableValue expected;  // kNotImplemented stands for that reply
  } cases[] = {
      {"connect", std::nullopt, EncodableValue(false)},
      {"connect", EncodableValue(EncodableList{}), EncodableValue(false)},
      {"connect", EncodableValue(EncodableMap{}), EncodableValue(false)},
      {"disconnect", std::nullopt, EncodableValue(true)},
      {"isConnected", std::nullopt, EncodableValue(false)},
      {"getLog", std::nullopt, Text("")},
      {"getStats", std::nullopt, EncodableValue(zero_stats)},
      {"Connect", EncodableValue(EncodableMap{}), kNotImplemented},
      {"CONNECT", std::nullopt, kNotImplemented},
      {"isconnected", std::nullopt, kNotImplemented},
      {"getlog", std::nullopt, kNotImplemented},
      {"Disconnect", std::nullopt, kNotImplemented},
      {"connect ", std::nullopt, kNotImplemented},
      {"", std::nullopt, kNotImplemented},
  };
  for (const HandlerCase& c : cases) {
    SCOPED_TRACE(c.method);
    Reply reply = Call(session, c.method, c.arguments);
    EXPECT_EQ(reply.calls, 1);
    if (c.expected == kNotImplemented) {
      EXPECT_EQ(reply.kind, Reply::Kind::kNotImplemented);
      continue;
    }
    ASSERT_EQ(reply.kind, Reply::Kind::kSuccess);
    ASSERT_TRUE(reply.value.has_value());
    EXPECT_EQ(reply.value->index(), c.expected.index());
    EXPECT_TRUE(*reply.value == c.expected);
  }
  // Nothing above reached Connect or stopped a running core.
  EXPECT_EQ(lines, 0);
}

}  // namespace
}  // namespace duzavide
