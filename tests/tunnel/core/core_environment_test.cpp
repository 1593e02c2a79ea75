// The environment block the elevated core is started with.
#include "tunnel/core/core_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

const std::wstring kAsset = L"XRAY_LOCATION_ASSET=C:\\Duzavide";

std::wstring Block(const std::vector<std::wstring>& entries) {
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  return block + L'\0';
}

TEST(CoreEnvironmentTest, DropsEverySteeringVariableAndPlacesTheAssetFolderInWindowsOrder) {
  struct Case {
    const char* name;
    std::vector<std::wstring> host;
    std::vector<std::wstring> core;
  } cases[] = {
      {"empty", {}, {kAsset}},
      {"placed by name, drives' folders kept",
       {L"=C:=C:\\Users", L"ALLUSERSPROFILE=C:\\ProgramData", L"windir=C:\\Windows", L"zone=1"},
       {L"=C:=C:\\Users", L"ALLUSERSPROFILE=C:\\ProgramData", L"windir=C:\\Windows", kAsset,
        L"zone=1"}},
      {"XRAY_ in any case dropped",
       {L"PATH=C:\\", L"xray_location_config=C:\\planted", L"Xray_Ray_Buffer_Size=1",
        L"XRAY_LOCATION_ASSET=C:\\planted", L"ZONE=1"},
       {L"PATH=C:\\", kAsset, L"ZONE=1"}},
      // Compared as upper case: "xraya" comes before "XRAY_", "xray{" after.
      {"near names kept, ordered without regard to case",
       {L"XR=1", L"XRAY=1", L"xraya=1", L"XRAYS=1", L"xray{=1"},
       {L"XR=1", L"XRAY=1", L"xraya=1", L"XRAYS=1", kAsset, L"xray{=1"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CoreEnvironmentBlock(Block(c.host).c_str(), L"C:\\Duzavide"), Block(c.core))
        << c.name;
  }
  EXPECT_EQ(CoreEnvironmentBlock(nullptr, L"C:\\Duzavide"), Block({kAsset}));
}

}  // namespace
}  // namespace duzavide
