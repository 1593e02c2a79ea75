// The engine and view wrappers against the stand-in engine library.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "shell/application.h"
#include "shell/flutter_engine.h"
#include "shell/flutter_view_controller.h"
#include "standins/engine/standin_hooks.h"
#include "tests/shell/test_support.h"

namespace duzavide {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::PumpUntil;

TEST(FlutterEngineTest, PassesEntrypointArgumentsInOrder) {
  struct Case {
    std::vector<std::string> arguments;
    std::string expected;
  } cases[] = {
      {{}, "argc=0 argv=null"},
      {{"one", "two"}, "argc=2 argv=[one][two]"},
      {{"", "with blank"}, "argc=2 argv=[][with blank]"},
  };
  for (const Case& test : cases) {
    EngineProject project;
    project.dart_entrypoint_arguments = test.arguments;
    DuzavideStandinResetCallCounts();
    {
      FlutterEngine engine(project);
      EXPECT_EQ(std::string(DuzavideStandinLastEngineArguments()), test.expected);
    }
    // Never handed over, so the wrapper ends the engine itself.
    EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopEngineDestroy"), 1);
  }
}

TEST(FlutterEngineTest, HandedOverEngineIsNotDestroyedByTheWrapper) {
  EngineProject project;
  FlutterDesktopEngineRef handle = nullptr;
  DuzavideStandinResetCallCounts();
  {
    FlutterEngine engine(project);
    handle = engine.ReleaseEngineOwnership();
    ASSERT_NE(handle, nullptr);
  }
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopEngineDestroy"), 0);
  FlutterDesktopEngineDestroy(handle);
}

TEST(FlutterEngineTest, PluginRegistrarIsOnePerName) {
  FlutterEngine engine(EngineProject{});
  FlutterDesktopPluginRegistrarRef first = engine.GetPluginRegistrar("a");
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(engine.GetPluginRegistrar("a"), first);
  EXPECT_NE(engine.GetPluginRegistrar("b"), first);
}

class FailCreateEnvironment {
 public:
  FailCreateEnvironment() { _wputenv(L"DUZAVIDE_ENGINE_FAIL_CREATE=1"); }
  ~FailCreateEnvironment() { _wputenv(L"DUZAVIDE_ENGINE_FAIL_CREATE="); }
};

TEST(FlutterViewControllerTest, FailedCreationReportsAndMakesNoDestroyCalls) {
  DuzavideStandinResetCallCounts();
  {
    FailCreateEnvironment fail;
    CaptureStderr();
    FlutterViewController controller(200, 100, MakeEngineProject({}));
    EXPECT_EQ(GetCapturedStderr(), "Failed to create view controller.\n");
    EXPECT_EQ(controller.GetView(), nullptr);
    EXPECT_NE(controller.GetEngine(), nullptr);
  }
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerCreate"), 1);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerDestroy"), 0);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopEngineDestroy"), 0);
}

TEST(FlutterViewControllerTest, NeedsTheDataFilesFromTheExecutablesFolder) {
  wchar_t executable[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, executable, MAX_PATH);
  std::wstring folder(executable);
  folder.resize(folder.find_last_of(L"\\") + 1);
  const struct {
    const char* name;
    std::wstring EngineProject::*path;
    const wchar_t* replacement;
    const char* missing;
  } cases[] = {
      {"installed layout", nullptr, L"", nullptr},
      {"assets folder", &EngineProject::assets_path, L"data\\no_assets", "assets folder"},
      {"ICU data names a folder", &EngineProject::icu_data_path, L"data\\flutter_assets",
       "ICU data file"},
      {"application library", &EngineProject::aot_library_path, L"data\\none.so",
       "application library"},
  };
  // Relative paths are the executable's, whatever the working folder.
  wchar_t working_folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, working_folder);
  wchar_t temporary[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temporary);
  ASSERT_TRUE(SetCurrentDirectoryW(temporary));
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EngineProject project = MakeEngineProject({});
    if (test.path != nullptr) project.*test.path = test.replacement;
    CaptureStderr();
    bool created = FlutterViewController(200, 100, project).GetView() != nullptr;
    const std::string errors = GetCapturedStderr();
    EXPECT_EQ(created, test.missing == nullptr);
    if (test.missing != nullptr) {
      const std::wstring path = folder + test.replacement;
      EXPECT_EQ(errors, "standin-engine: the " + std::string(test.missing) +
                            " is missing: " + std::string(path.begin(), path.end()) +
                            "\nFailed to create view controller.\n");
    }
  }
  SetCurrentDirectoryW(working_folder);
}

TEST(FlutterViewControllerTest, CreatesAChildViewAndEndsItOnce) {
  DuzavideStandinResetCallCounts();
  HWND view_window = nullptr;
  {
    FlutterViewController controller(320, 240, MakeEngineProject({}));
    ASSERT_NE(controller.GetView(), nullptr);
    view_window = controller.GetView()->GetNativeWindow();
    ASSERT_TRUE(IsWindow(view_window));
    EXPECT_NE(GetWindowLongPtrW(view_window, GWL_STYLE) & WS_CHILD, 0);
    RECT client;
    GetClientRect(view_window, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(view_window, WM_SIZE, 0, 0).has_value());
  }
  EXPECT_FALSE(IsWindow(view_window));
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopViewControllerDestroy"), 1);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopEngineDestroy"), 0);
}

TEST(FlutterViewControllerTest, NextFrameCallbackRunsOnceFromTheLoop) {
  FlutterViewController controller(200, 100, MakeEngineProject({}));
  ASSERT_NE(controller.GetView(), nullptr);
  int runs = 0;
  controller.GetEngine()->SetNextFrameCallback([&runs] { ++runs; });
  controller.ForceRedraw();
  EXPECT_EQ(runs, 0);
  PumpUntil([&runs] { return runs > 0; });
  EXPECT_EQ(runs, 1);
  // Later frames find the callable empty.
  controller.ForceRedraw();
  controller.ForceRedraw();
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(runs, 1);

  // A new setting fires again, once; a replaced one never.
  int replaced = 0;
  controller.GetEngine()->SetNextFrameCallback([&replaced] { ++replaced; });
  controller.GetEngine()->SetNextFrameCallback([&runs] { ++runs; });
  controller.ForceRedraw();
  PumpUntil([&runs] { return runs > 1; });
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(replaced, 0);
}

}  // namespace
}  // namespace duzavide
