// Script mode of the stand-in engine, driven through the real wrappers and
// channel: the script's calls reach a handler installed by the test, and the
// window commands reach the view's top-level window.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "channel/method_channel.h"
#include "channel/standard_method_codec.h"
#include "gtest/gtest.h"
#include "shell/application.h"
#include "shell/flutter_view_controller.h"
#include "tests/shell/test_support.h"

namespace duzavide {
namespace {

using testing_support::PumpUntil;
using testing_support::ReadText;
using testing_support::TemporaryPath;
using testing_support::WriteText;

// Sets the script variables for the scope of a test.
class ScriptEnvironment {
 public:
  explicit ScriptEnvironment(const std::string& script)
      : script_path_(TemporaryPath(L"engine_script")),
        transcript_path_(TemporaryPath(L"engine_transcript")) {
    WriteText(script_path_, script);
    _wputenv((L"DUZAVIDE_ENGINE_SCRIPT=" + script_path_).c_str());
    _wputenv((L"DUZAVIDE_ENGINE_TRANSCRIPT=" + transcript_path_).c_str());
  }
  ~ScriptEnvironment() {
    _wputenv(L"DUZAVIDE_ENGINE_SCRIPT=");
    _wputenv(L"DUZAVIDE_ENGINE_TRANSCRIPT=");
    DeleteFileW(script_path_.c_str());
    DeleteFileW(transcript_path_.c_str());
  }
  std::string Transcript() const { return ReadText(transcript_path_); }

 private:
  std::wstring script_path_;
  std::wstring transcript_path_;
};

size_t LineCount(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TEST(EngineScriptTest, CallsReachTheHandlerAndRepliesAreTranscribed) {
  ScriptEnvironment environment(
      "# isConnected, an unknown method, then a channel nobody serves\n"
      "\n"
      "call 070b6973436f6e6e656374656400\n"
      "call 070a6765744e6f7468696e6700\n"
      "  # indented comment\n"
      "send other.channel 00\n"
      "sleep 20\n"
      "call 070b6973436f6e6e656374656400\n");
  FlutterViewController controller(300, 200, MakeEngineProject({}));
  ASSERT_NE(controller.GetView(), nullptr);
  std::vector<std::string> methods;
  MethodChannel channel(controller.GetEngine()->GetMessenger(), "vur.izir.uzo/vpn",
                        &StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler([&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    methods.push_back(call.method_name());
    if (call.method_name() == "isConnected") {
      result->Success(EncodableValue(true));
    } else {
      result->NotImplemented();
    }
  });
  controller.ForceRedraw();
  PumpUntil([&] { return LineCount(environment.Transcript()) >= 5; });
  const std::string transcript = environment.Transcript();
  EXPECT_EQ(transcript.substr(0, transcript.rfind("max-stall ")),
            "reply 0001\nreply\nnoreply\nreply 0001\n");
  EXPECT_EQ(methods, std::vector<std::string>({"isConnected", "getNothing", "isConnected"}));
}

TEST(EngineScriptTest, ACallHoldsTheScriptUntilItsAnswerArrives) {
  ScriptEnvironment environment(
      "call 070b6973436f6e6e656374656400\n"
      "call 070a6765744e6f7468696e6700\n");
  FlutterViewController controller(300, 200, MakeEngineProject({}));
  ASSERT_NE(controller.GetView(), nullptr);
  std::vector<std::string> methods;
  std::unique_ptr<MethodResult> held;
  MethodChannel channel(controller.GetEngine()->GetMessenger(), "vur.izir.uzo/vpn",
                        &StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler([&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    methods.push_back(call.method_name());
    if (methods.size() == 1) {
      held = std::move(result);  // answered later, from the message loop
    } else {
      result->NotImplemented();
    }
  });
  controller.ForceRedraw();
  PumpUntil([&] { return held != nullptr; });
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(methods.size(), 1u) << "the next call ran before the answer";
  ASSERT_NE(held, nullptr);
  held->Success(EncodableValue(true));
  PumpUntil([&] { return LineCount(environment.Transcript()) >= 3; });
  const std::string transcript = environment.Transcript();
  EXPECT_EQ(transcript.substr(0, transcript.rfind("max-stall ")), "reply 0001\nreply\n");
  EXPECT_EQ(methods.size(), 2u);
}

// A top-level window that records what the script sends it.
struct RecordedMessage {
  UINT message;
  WPARAM wparam;
};
std::vector<RecordedMessage>* g_recorded = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_recorded != nullptr && (message == WM_CLOSE || message == WM_COMMAND ||
                                (message == WM_SIZE && wparam == SIZE_MINIMIZED))) {
    g_recorded->push_back({message, wparam});
    if (message == WM_CLOSE) return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST(EngineScriptTest, WindowCommandsGoToTheTopLevelWindow) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = RecordingProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"EngineScriptTestTop";
  RegisterClassW(&window_class);
  HWND top = CreateWindowExW(0, L"EngineScriptTestTop", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(top, nullptr);
  std::vector<RecordedMessage> recorded;
  g_recorded = &recorded;
  {
    ScriptEnvironment environment("minimize\ncommand 42\nclose\n");
    FlutterViewController controller(300, 200, MakeEngineProject({}));
    ASSERT_NE(controller.GetView(), nullptr);
    // Hosted the way the shell hosts it.
    SetParent(controller.GetView()->GetNativeWindow(), top);
    controller.ForceRedraw();
    PumpUntil([&] { return recorded.size() >= 3; });
  }
  g_recorded = nullptr;
  DestroyWindow(top);
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded[0].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(recorded[1].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(LOWORD(recorded[1].wparam), 42);
  EXPECT_EQ(recorded[2].message, static_cast<UINT>(WM_CLOSE));
}

}  // namespace
}  // namespace duzavide
