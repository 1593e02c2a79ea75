#include "tunnel/system_proxy.h"

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include "tests/tunnel/tunnel_session_fixture.h"

namespace duzavide::tunnel_test {
namespace {

DWORD ProxyFlags() {
  INTERNET_PER_CONN_OPTIONW option{};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = 1;
  list.pOptions = &option;
  DWORD size = sizeof(list);
  if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
    return 0;
  }
  return option.Value.dwValue;
}

bool SetProxyFlags(DWORD flags) {
  INTERNET_PER_CONN_OPTIONW option{};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  option.Value.dwValue = flags;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = 1;
  list.pOptions = &option;
  return ::InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                              sizeof(list)) != FALSE;
}

constexpr DWORD kManualProxy = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;

bool ManualProxyOn() { return (ProxyFlags() & PROXY_TYPE_PROXY) != 0; }

TEST_F(TunnelSessionTest, ProxyIsDirectAfterEveryConnectAndDisconnect) {
  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  ASSERT_TRUE(ManualProxyOn());
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));

  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  session_.Disconnect();
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));

  // A connect that fails, and a disconnect with nothing running, reset it too.
  ConnectRequest failing = LoopbackRequest();
  failing.vlessUrl = "vless://no-query@127.0.0.1:1";
  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  EXPECT_FALSE(session_.Connect(failing));
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));
  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  session_.Disconnect();
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));
  EXPECT_TRUE(ResetSystemProxy());
}

}  // namespace
}  // namespace duzavide::tunnel_test
