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

fs::path ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

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

// The two endpoints the stand-in always needs, plus `extra` members.
std::string SmallDocument(const std::string& extra) {
  return R"({"inbounds": [{"tag": "wg-tcp-in", "port": 0,
                          "settings": {"address": "127.0.0.1", "port": 9}}],
            "outbounds": [{"tag": "wg-out", "settings": {"peers": [{"endpoint": "127.0.0.1:9"}]}}])" +
         extra + "}";
}

struct CoreRun {
  DWORD exit_code = 0;
  std::string output;
};

// Runs `core` on `config` in `work` (cwd) and collects its whole output.
CoreRun RunCore(const fs::path& core, const fs::path& config, const fs::path& work) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  CoreRun run{};
  if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  std::wstring command = L"\"" + core.wstring() + L"\" run -c \"" + config.wstring() + L"\"";
  PROCESS_INFORMATION process{};
  BOOL started = ::CreateProcessW(core.c_str(), command.data(), nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, work.c_str(), &startup, &process);
  ::CloseHandle(write_end);
  if (started) {
    if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process.hProcess, 99);
      ::WaitForSingleObject(process.hProcess, 5000);
    }
    ::GetExitCodeProcess(process.hProcess, &run.exit_code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      run.output.append(buffer, got);
    }
  }
  ::CloseHandle(read_end);
  return run;
}

struct Case {
  const char* name;
  std::string document;
  std::vector<const char*> beside_core;     // companion files copied beside xray.exe
  std::vector<const char*> in_work_folder;  // ... and into the working folder
  bool asset_variable;                      // XRAY_LOCATION_ASSET names "assets"
  std::vector<const char*> in_assets;       // files copied into "assets"
  const char* refusal;                      // text of the one refusal line, or null
};

TEST(StandinCoreDemandsTest, RefusesWhatTheRealCoreCannotStartWithout) {
  const std::vector<const char*> all = {"wintun.dll", "geoip.dat", "geosite.dat"};
  const Case cases[] = {
      {"everything beside the core", HostDocument(), all, {}, false, {}, nullptr},
      {"TUN inbound without wintun.dll",
       HostDocument(),
       {"geoip.dat", "geosite.dat"},
       {},
       false,
       {},
       "wintun.dll (error "},
      {"wintun.dll only in the working folder",
       HostDocument(),
       {"geoip.dat", "geosite.dat"},
       {"wintun.dll"},
       false,
       {},
       "wintun.dll (error "},
      {"geoip rule without geoip.dat",
       HostDocument(),
       {"wintun.dll", "geosite.dat"},
       {},
       false,
       {},
       "failed to load geoip:cn: cannot open "},
      {"geosite rules without geosite.dat",
       HostDocument(),
       {"wintun.dll", "geoip.dat"},
       {},
       false,
       {},
       "failed to load geosite:cn: cannot open "},
      {"DNS host entry without geosite.dat",
       SmallDocument(R"(, "dns": {"hosts": {"geosite:cn": ["10.1.2.3"]}})"),
       {},
       {},
       false,
       {},
       "failed to load geosite:cn: cannot open "},
      {"negated geoip in a DNS server without geoip.dat",
       SmallDocument(
           R"(, "dns": {"servers": [{"address": "10.0.0.1", "expectIPs": ["geoip:!CN"]}]})"),
       {},
       {},
       false,
       {},
       "failed to load geoip:cn: cannot open "},
      {"a category the data file lacks",
       SmallDocument(
           R"(, "routing": {"rules": [{"domain": ["geosite:cn@ads", "geosite:nowhere"]}]})"),
       all,
       {},
       false,
       {},
       "failed to load geosite:nowhere: code not found in "},
      {"a data file of the other kind",
       SmallDocument(R"(, "routing": {"rules": [{"ip": ["geoip:cn"]}]})"),
       {},
       {},
       true,
       {"geosite.dat as geoip.dat"},
       "geoip.dat is not a geoip data file"},
      {"the asset variable names a folder without the data files",
       HostDocument(),
       all,
       {},
       true,
       {},
       "failed to load geoip:cn: cannot open "},
      {"the data files only in the folder the asset variable names",
       HostDocument(),
       {"wintun.dll"},
       {},
       true,
       {"geoip.dat", "geosite.dat"},
       nullptr},
      {"no TUN inbound and no category: nothing else needed",
       SmallDocument(""),
       {},
       {},
       false,
       {},
       nullptr},
  };
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const fs::path root =
      fs::path(temp) / ("duzavide-core-demands-" + std::to_string(::GetCurrentProcessId()));
  const fs::path source = ExeFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code error;
    fs::remove_all(root, error);
    const fs::path core = root / "core";
    const fs::path work = root / "work";
    const fs::path assets = root / "assets";
    for (const fs::path& folder : {core, work, assets}) fs::create_directories(folder, error);
    ASSERT_TRUE(fs::copy_file(source / "xray.exe", core / "xray.exe", error)) << error.message();
    const auto place = [&](const std::vector<const char*>& names, const fs::path& folder) {
      for (std::string name : names) {
        // "x as y": the file x under the name y.
        const size_t as = name.find(" as ");
        const std::string from = as == std::string::npos ? name : name.substr(0, as);
        const std::string to = as == std::string::npos ? name : name.substr(as + 4);
        ASSERT_TRUE(fs::copy_file(source / from, folder / to, error)) << from;
      }
    };
    place(c.beside_core, core);
    place(c.in_work_folder, work);
    place(c.in_assets, assets);
    WriteText(work / "config.json", c.document);
    WriteText(work / "standin-core.txt", "exit " + std::to_string(kStartedExitCode) + "\n");
    ::SetEnvironmentVariableW(L"XRAY_LOCATION_ASSET", c.asset_variable ? assets.c_str() : nullptr);

    const CoreRun run = RunCore(core / "xray.exe", work / "config.json", work);
    ::SetEnvironmentVariableW(L"XRAY_LOCATION_ASSET", nullptr);
    if (c.refusal == nullptr) {
      EXPECT_EQ(run.exit_code, kStartedExitCode) << run.output;
      EXPECT_EQ(run.output.rfind("standin-core started pid ", 0), 0u) << run.output;
    } else {
      EXPECT_EQ(run.exit_code, kRefusedExitCode) << run.output;
      EXPECT_EQ(run.output.rfind("standin-core: Failed to start: ", 0), 0u) << run.output;
      EXPECT_NE(run.output.find(c.refusal), std::string::npos) << run.output;
      EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "not one line: " << run.output;
    }
  }
  std::error_code error;
  fs::remove_all(root, error);
}

}  // namespace
}  // namespace duzavide
