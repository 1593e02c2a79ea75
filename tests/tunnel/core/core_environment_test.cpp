// The environment block the elevated core is started with.
#include "tunnel/core/core_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

std::wstring Block(const std::vector<std::wstring>& entries) {
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  return block + L'\0';
}

const CoreEnvironmentPlaces kPlaces{L"C:\\Windows", L"C:\\Windows\\system32", L"C:\\ProgramData",
                                    L"C:\\Users\\u\\AppData\\Local\\Duzavide", L"C:\\Duzavide"};

// The whole block for kPlaces, in Windows order.
std::vector<std::wstring> Expected() {
  std::vector<std::wstring> entries{L"PATH=C:\\Windows\\system32",
                                    L"ProgramData=C:\\ProgramData",
                                    L"SystemDrive=C:",
                                    L"SystemRoot=C:\\Windows",
                                    L"TEMP=C:\\Users\\u\\AppData\\Local\\Duzavide",
                                    L"TMP=C:\\Users\\u\\AppData\\Local\\Duzavide",
                                    L"windir=C:\\Windows",
                                    L"XRAY_LOCATION_ASSET=C:\\Duzavide"};
  return entries;
}

TEST(CoreEnvironmentTest, OnlyTheAllowListReachesTheCore) {
  struct Case {
    std::vector<std::wstring> host;
    std::vector<std::wstring> core;
  } cases[] = {
      {{}, Expected()},
      // The core's location variables in every spelling it reads.
      {{L"XRAY_LOCATION_ASSET=C:\\planted", L"XRAY_LOCATION_CONFDIR=C:\\planted",
        L"XRAY_LOCATION_CONFIG=C:\\planted", L"XRAY_LOCATION_CERT=C:\\planted",
        L"Xray_Location_Tool=C:\\planted", L"xray_buf_readv=enable"},
       Expected()},
      {{L"xray.location.asset=C:\\planted", L"Xray.Location.Asset=C:\\planted",
        L"xray.location.confdir=C:\\planted", L"XRAY.LOCATION.CONFIG=C:\\planted",
        L"xray.location.cert=C:\\planted", L"xray.ray.buffer.size=1"},
       Expected()},
      // The runtime's and the proxies' variables.
      {{L"GODEBUG=x509ignoreCN=0", L"GOMEMLIMIT=1", L"GOTRACEBACK=crash", L"GOMAXPROCS=1",
        L"HTTP_PROXY=http://127.0.0.1:9", L"https_proxy=http://127.0.0.1:9", L"SSL_CERT_DIR=C:\\x"},
       Expected()},
      // The system's places come from the system, not from the host's block; a
      // second spelling of PATH would give the core two.
      {{L"SystemRoot=C:\\planted", L"PATH=C:\\planted", L"Path=C:\\planted", L"TEMP=C:\\planted",
        L"ProgramData=C:\\planted", L"USERPROFILE=C:\\planted"},
       Expected()},
      // An empty name, and names holding "=": the drives' current folders and
      // a planted name behind a leading "=".
      {{L"=C:=C:\\planted", L"=XRAY_LOCATION_ASSET=C:\\planted", L"=", L"==x", L"NOEQUALS"},
       Expected()},
      // Names that only describe the machine are copied, exactly and once.
      {{L"COMPUTERNAME=PC", L"NUMBER_OF_PROCESSORS=2", L"os=Windows_NT", L"OS=planted", L"OSX=1",
        L"PROCESSOR_ARCHITECTURE=AMD64", L"PROCESSOR_ARCHITEW6432=x"},
       {L"COMPUTERNAME=PC", L"NUMBER_OF_PROCESSORS=2", L"os=Windows_NT",
        L"PATH=C:\\Windows\\system32", L"PROCESSOR_ARCHITECTURE=AMD64",
        L"ProgramData=C:\\ProgramData", L"SystemDrive=C:", L"SystemRoot=C:\\Windows",
        L"TEMP=C:\\Users\\u\\AppData\\Local\\Duzavide",
        L"TMP=C:\\Users\\u\\AppData\\Local\\Duzavide", L"windir=C:\\Windows",
        L"XRAY_LOCATION_ASSET=C:\\Duzavide"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CoreEnvironmentBlock(Block(c.host).c_str(), kPlaces), Block(c.core))
        << (c.host.empty() ? "empty" : std::string(c.host.front().begin(), c.host.front().end()));
  }
  EXPECT_EQ(CoreEnvironmentBlock(nullptr, kPlaces), Block(Expected()));
  EXPECT_EQ(CoreEnvironmentBlock(nullptr, CoreEnvironmentPlaces{}), Block({}));
}

}  // namespace
}  // namespace duzavide
