// Each misuse of the engine's C interface, committed in a child process, ends that
// process with exit code 86 and the stand-in engine's one line naming it.
#include <windows.h>

#include <string>

#include "base/win_handles.h"
#include "gtest/gtest.h"
#include "tests/shell/test_support.h"

namespace duzavide {
namespace {

using testing_support::ReadText;
using testing_support::TemporaryPath;

std::wstring ProgramBesideThisOne(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + name;
}

struct Outcome {
  DWORD exit_code = 0;
  std::string standard_error;
};

Outcome RunMisuse(const std::string& misuse) {
  Outcome outcome;
  const std::wstring error_path = TemporaryPath(L"engine_misuse_stderr");
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  UniqueFileHandle error_file(CreateFileW(error_path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::wstring command_line = L"\"" + ProgramBesideThisOne(L"engine_misuse.exe") + L"\" " +
                              std::wstring(misuse.begin(), misuse.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = error_file.Get();
  startup.hStdError = error_file.Get();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    ADD_FAILURE() << "cannot start engine_misuse.exe: " << GetLastError();
    return outcome;
  }
  UniqueHandle process(info.hProcess);
  CloseHandle(info.hThread);
  error_file.Reset();
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 99);
    ADD_FAILURE() << "engine_misuse.exe " << misuse << " did not end";
  }
  GetExitCodeProcess(process.Get(), &outcome.exit_code);
  for (char c : ReadText(error_path)) {
    if (c != '\r') outcome.standard_error.push_back(c);
  }
  DeleteFileW(error_path.c_str());
  return outcome;
}

TEST(EngineContractTest, EachMisuseEndsTheProcessWithOneLineNamingIt) {
  const std::string engine_ended = " called on an engine that has ended";
  const std::string foreign_thread =
      " called from a thread other than the engine's platform thread without holding the "
      "messenger's lock and checking its availability";
  const struct {
    const char* misuse;
    std::string refusal;
  } cases[] = {
      {"null-engine", "FlutterDesktopEngineGetMessenger called with a null engine"},
      {"null-view-controller",
       "FlutterDesktopViewControllerForceRedraw called with a null view controller"},
      {"null-view", "FlutterDesktopViewGetHWND called with a null view"},
      {"null-messenger", "FlutterDesktopMessengerIsAvailable called with a null messenger"},
      {"controller-during-destroy",
       "FlutterDesktopViewControllerHandleTopLevelWindowProc called on a view controller whose "
       "destruction has begun"},
      {"engine-after-destroy", "FlutterDesktopEngineReloadSystemFonts" + engine_ended},
      {"engine-after-its-controller-ended", "FlutterDesktopEngineGetMessenger" + engine_ended},
      {"engine-destroyed-while-taken-over",
       "FlutterDesktopEngineDestroy called on an engine that a view controller has taken over"},
      {"send-from-another-thread", "FlutterDesktopMessengerSend" + foreign_thread},
      {"set-callback-from-another-thread", "FlutterDesktopMessengerSetCallback" + foreign_thread},
      {"response-from-another-thread-unlocked",
       "FlutterDesktopMessengerSendResponse" + foreign_thread},
      {"response-from-another-thread-locked-unchecked",
       "FlutterDesktopMessengerSendResponse" + foreign_thread},
      {"response-twice",
       "FlutterDesktopMessengerSendResponse called with a response handle that was already "
       "answered"},
      {"response-through-another-engine",
       "FlutterDesktopMessengerSendResponse called with a response handle of another engine"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.misuse);
    const Outcome outcome = RunMisuse(test.misuse);
    EXPECT_EQ(outcome.exit_code, 86u);
    EXPECT_EQ(outcome.standard_error, "standin-engine: contract violation: " + test.refusal + "\n");
  }
}

}  // namespace
}  // namespace duzavide
