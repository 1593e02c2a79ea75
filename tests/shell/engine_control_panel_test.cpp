// The stand-in engine's control panel, hosted in a top-level window the way the
// shell hosts the view: it polls and connects only through the control channel.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "channel/method_channel.h"
#include "channel/standard_method_codec.h"
#include "gtest/gtest.h"
#include "shell/application.h"
#include "shell/flutter_view_controller.h"
#include "standins/engine/control_panel_ids.h"
#include "tests/shell/test_support.h"

namespace duzavide {
namespace {

namespace ids = standin::control_panel_ids;
using testing_support::PumpUntil;

std::wstring TextOf(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(length + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), length + 1));
  return text;
}

const EncodableValue* Find(const EncodableMap& map, const char* key) {
  auto found = map.find(EncodableValue(key));
  return found != map.end() ? &found->second : nullptr;
}

// A stand-in for the tunnel's handler: remembers calls and answers plausibly.
struct FakeTunnel {
  bool connected = false;
  int log_calls = 0;
  std::vector<std::string> methods;
  std::unique_ptr<EncodableValue> connect_arguments;

  void Handle(const MethodCall& call, std::unique_ptr<MethodResult> result) {
    methods.push_back(call.method_name());
    const std::string& method = call.method_name();
    if (method == "isConnected") {
      result->Success(EncodableValue(connected));
    } else if (method == "getLog") {
      result->Success(EncodableValue(++log_calls == 1 ? "[xray] first line\n" : ""));
    } else if (method == "getStats") {
      result->Success(EncodableValue(
          EncodableMap{{EncodableValue("downlinkBytes"), EncodableValue(int64_t{2048})},
                       {EncodableValue("uplinkBytes"), EncodableValue(int64_t{512})}}));
    } else if (method == "connect") {
      connect_arguments = std::make_unique<EncodableValue>(*call.arguments());
      connected = true;
      result->Success(EncodableValue(true));
    } else {
      result->NotImplemented();
    }
  }
};

TEST(EngineControlPanelTest, PollsAndConnectsThroughTheChannel) {
  _wputenv(L"DUZAVIDE_ENGINE_SCRIPT=");
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"EngineControlPanelTestTop";
  RegisterClassW(&window_class);
  HWND top =
      CreateWindowExW(0, L"EngineControlPanelTestTop", L"Duzavide Connect", WS_OVERLAPPEDWINDOW, 0,
                      0, 606, 839, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(top, nullptr);
  RECT client;
  GetClientRect(top, &client);
  FakeTunnel tunnel;
  {
    FlutterViewController controller(client.right, client.bottom, MakeEngineProject({}));
    ASSERT_NE(controller.GetView(), nullptr);
    HWND view = controller.GetView()->GetNativeWindow();
    SetParent(view, top);
    MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
    ShowWindow(top, SW_SHOWNORMAL);
    MethodChannel channel(controller.GetEngine()->GetMessenger(), "vur.izir.uzo/vpn",
                          &StandardMethodCodec::GetInstance());
    channel.SetMethodCallHandler(
        [&tunnel](const MethodCall& call, std::unique_ptr<MethodResult> result) {
          tunnel.Handle(call, std::move(result));
        });

    HWND status = GetDlgItem(view, ids::kStatusId);
    HWND stats = GetDlgItem(view, ids::kStatsId);
    HWND log = GetDlgItem(view, ids::kLogId);
    ASSERT_NE(status, nullptr);
    PumpUntil([&] { return tunnel.log_calls > 0; });
    EXPECT_EQ(TextOf(status), L"Status: disconnected");
    EXPECT_EQ(TextOf(stats), L"Downloaded: 2.0 KiB    Uploaded: 512 B");
    EXPECT_EQ(TextOf(log), L"[xray] first line\r\n");

    const wchar_t* fields[] = {L"vless://id@example.invalid:443?security=reality",
                               L"private",
                               L"10.0.0.2/32",
                               L"public",
                               L"127.0.0.1",
                               L"51999"};
    for (int i = 0; i < 6; ++i) {
      SetWindowTextW(GetDlgItem(view, ids::kFirstFieldId + i), fields[i]);
    }
    SendMessageW(GetDlgItem(view, ids::kConnectId), BM_CLICK, 0, 0);
    ASSERT_NE(tunnel.connect_arguments, nullptr);
    EXPECT_EQ(TextOf(status), L"Status: connect succeeded");
    PumpUntil([&] { return TextOf(status).rfind(L"Status: connected", 0) == 0; });
    EXPECT_EQ(TextOf(status), L"Status: connected    (connect succeeded)");

    // Kept on screen for a while when asked, so that it can be looked at.
    const char* hold = std::getenv("DUZAVIDE_TEST_HOLD_MS");
    if (hold != nullptr) PumpUntil([] { return false; }, std::strtoul(hold, nullptr, 10));
  }
  DestroyWindow(top);

  const auto& arguments = std::get<EncodableMap>(*tunnel.connect_arguments);
  EXPECT_EQ(std::get<std::string>(*Find(arguments, "vlessUrl")),
            "vless://id@example.invalid:443?security=reality");
  const auto& wireguard = std::get<EncodableMap>(*Find(arguments, "wireguard"));
  EXPECT_EQ(std::get<std::string>(*Find(wireguard, "private_key")), "private");
  EXPECT_EQ(std::get<std::string>(*Find(wireguard, "address")), "10.0.0.2/32");
  EXPECT_EQ(std::get<std::string>(*Find(wireguard, "server_public_key")), "public");
  EXPECT_EQ(std::get<std::string>(*Find(wireguard, "relay_address")), "127.0.0.1");
  EXPECT_EQ(std::get<int32_t>(*Find(wireguard, "relay_port")), 51999);
}

}  // namespace
}  // namespace duzavide
