// The stand-in core needs what the real core needs beside its configuration: each
// companion file taken away from a configuration that needs it makes it refuse to
// start with one line and exit code 23; in its place, the core starts.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/connect_request.h"
#include "config/core_config_writer.h"
#include "gtest/gtest.h"

namespace duzavide {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kRefusedExitCode = 23;
constexpr DWORD kStartedExitCode = 7;  // the "exit" directive of every case

void WriteText(const fs::path& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(file, nullptr) << path;
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

// What the host writes: a TUN inbound and rules naming geoip:cn, geosite:cn and
// geosite:microsoft.
std::string HostDocument() {
  ConnectRequest request;
  request.vlessUrl = "vless://0a1b2c3d-0000-4000-8000-000000000001@127.0.0.1:8443?security=none";
  request.private_key = "cHJpdmF0ZQ==";
  request.address = "10.66.0.2/32";
  request.server_public_key = "c2VydmVy";
  request.relay_address = "127.0.0.1";
  return BuildCoreConfig(request, "127.0.0.1", 9, 0);
}

// The two endpoints the stand-in always needs, and `extra` members.
std::string SmallDocument(const std::string& extra) {
  return R"({"inbounds": [{"tag": "wg-tcp-in", "port": 0, "settings": {"port": 9}}],
    "outbounds": [{"tag": "wg-out", "settings": {"peers": [{"endpoint": "127.0.0.1:9"}]}}])" +
         extra + "}";
}

// Runs `core` on `config` with `work` as its working folder; its exit code and output.
std::pair<DWORD, std::string> RunCore(const fs::path& core, const fs::path& config,
                                      const fs::path& work) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  std::pair<DWORD, std::string> result{0, ""};
  if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return result;
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = write_end;
  std::wstring command = L"\"" + core.wstring() + L"\" run -c \"" + config.wstring() + L"\"";
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(core.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, work.c_str(), &startup, &process)) {
    if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process.hProcess, 99);
      ::WaitForSingleObject(process.hProcess, 5000);
    }
    ::GetExitCodeProcess(process.hProcess, &result.first);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(write_end);
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    result.second.append(buffer, got);
  }
  ::CloseHandle(read_end);
  return result;
}

struct Case {
  const char* name;
  std::string document;
  // "<folder>/<name>" copies the file of that name from beside this program into
  // "core" (beside xray.exe), "work" (its working folder) or "assets";
  // "<folder>/<name>=<source>" copies <source> under that name.
  std::vector<std::string> files;
  bool asset_variable;  // XRAY_LOCATION_ASSET names "assets"
  const char* refusal;  // a part of the one refusal line, or null when it starts
};

TEST(StandinCoreDemandsTest, RefusesWhatTheRealCoreCannotStartWithout) {
  const std::vector<std::string> beside = {"core/wintun.dll", "core/geoip.dat", "core/geosite.dat"};
  const Case cases[] = {
      {"everything beside the core", HostDocument(), beside, false, nullptr},
      {"no wintun.dll",
       HostDocument(),
       {"core/geoip.dat", "core/geosite.dat"},
       false,
       "failed to open the TUN interface: cannot load "},
      {"wintun.dll only in the working folder",
       HostDocument(),
       {"core/geoip.dat", "core/geosite.dat", "work/wintun.dll"},
       false,
       "failed to open the TUN interface: cannot load "},
      {"no geoip.dat",
       HostDocument(),
       {"core/wintun.dll", "core/geosite.dat"},
       false,
       "failed to load geoip:cn: cannot open "},
      {"no geosite.dat",
       HostDocument(),
       {"core/wintun.dll", "core/geoip.dat"},
       false,
       "failed to load geosite:cn: cannot open "},
      {"a DNS hosts key without geosite.dat",
       SmallDocument(R"(, "dns": {"hosts": {"geosite:CN@ads": ["10.1.2.3"]}})"),
       {},
       false,
       "failed to load geosite:cn: cannot open "},
      {"a category the data file lacks",
       SmallDocument(R"(, "routing": {"rules": [{"ip": ["geoip:!cn", "geoip:nowhere"]}]})"), beside,
       false, "failed to load geoip:nowhere: code not found in "},
      {"a data file of the other kind",
       SmallDocument(R"(, "routing": {"rules": [{"domain": ["geosite:cn"]}]})"),
       {"core/geosite.dat=geoip.dat"},
       false,
       "geosite.dat is not a geosite data file"},
      {"the asset variable names a folder without the data files", HostDocument(), beside, true,
       "failed to load geoip:cn: cannot open "},
      {"the data files only where the asset variable points",
       HostDocument(),
       {"core/wintun.dll", "assets/geoip.dat", "assets/geosite.dat"},
       true,
       nullptr},
  };
  wchar_t exe[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const fs::path source = fs::path(exe).parent_path();
  const fs::path root = fs::temp_directory_path() / "duzavide-core-demands";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code error;
    fs::remove_all(root, error);
    for (const char* folder : {"core", "work", "assets"}) fs::create_directories(root / folder);
    std::vector<std::string> files = c.files;
    files.push_back("core/xray.exe");
    for (const std::string& file : files) {
      const size_t equals = file.find('=');
      const fs::path from = source / fs::path(file.substr(0, equals)).filename();
      ASSERT_TRUE(
          fs::copy_file(equals == std::string::npos ? from : source / file.substr(equals + 1),
                        root / file.substr(0, equals), error))
          << file;
    }
    WriteText(root / "work" / "config.json", c.document);
    WriteText(root / "work" / "standin-core.txt", "exit " + std::to_string(kStartedExitCode));
    ::SetEnvironmentVariableW(L"XRAY_LOCATION_ASSET",
                              c.asset_variable ? (root / "assets").c_str() : nullptr);
    const auto [exit_code, output] =
        RunCore(root / "core" / "xray.exe", root / "work" / "config.json", root / "work");
    ::SetEnvironmentVariableW(L"XRAY_LOCATION_ASSET", nullptr);
    if (c.refusal == nullptr) {
      EXPECT_EQ(exit_code, kStartedExitCode) << output;
      EXPECT_EQ(output.rfind("standin-core started pid ", 0), 0u) << output;
    } else {
      EXPECT_EQ(exit_code, kRefusedExitCode) << output;
      EXPECT_EQ(output.rfind("standin-core: Failed to start: ", 0), 0u) << output;
      EXPECT_NE(output.find(c.refusal), std::string::npos) << output;
      EXPECT_EQ(output.find('\n'), output.size() - 1) << "not one line: " << output;
    }
  }
  std::error_code error;
  fs::remove_all(root, error);
}

}  // namespace
}  // namespace duzavide
