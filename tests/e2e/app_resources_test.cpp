// The resources linked into Duzavide.exe (manifest, icon group and version block)
// and the restore program's manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/app_process.h"

namespace duzavide::e2e {
namespace {

class AppResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = AppFolder() + L"\\Duzavide.exe";
    module_ = ::LoadLibraryExW(path_.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  std::string Resource(LPCWSTR name, LPCWSTR type) {
    HRSRC found = ::FindResourceW(module_, name, type);
    if (found == nullptr) return std::string();
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module_, found)));
    return std::string(data, ::SizeofResource(module_, found));
  }

  std::wstring path_;
  HMODULE module_ = nullptr;
};

TEST_F(AppResourcesTest, ManifestRequestsAdministratorAndPerMonitorAwareness) {
  const std::string manifest = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
  const char* const expected[] = {
      "level=\"requireAdministrator\"",
      "uiAccess=\"false\"",
      ">PerMonitorV2</dpiAwareness>",
      "version=\"1.0.0.0\"",
      "processorArchitecture=\"amd64\"",
      "name=\"Duzavide\"",
      "type=\"win32\"",
      "<description>Duzavide VPN Client</description>",
  };
  for (const char* text : expected) EXPECT_NE(manifest.find(text), std::string::npos) << text;
}

// The identifiers Windows documents for its versions, Windows 7 to 10 and 11: the
// manifest declares each of them and nothing else (an unknown one is ignored).
TEST_F(AppResourcesTest, ManifestDeclaresWindowsVersionsByTheirDocumentedIdentifiers) {
  const std::map<std::string, std::string> documented = {
      {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "Windows 7"},
      {"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "Windows 8"},
      {"{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "Windows 8.1"},
      {"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "Windows 10 and 11"},
  };
  const std::string manifest = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
  const std::regex supported_os(R"re(<supportedOS\s+Id\s*=\s*"([^"]*)")re");
  std::set<std::string> declared;
  for (auto match = std::sregex_iterator(manifest.begin(), manifest.end(), supported_os);
       match != std::sregex_iterator(); ++match) {
    std::string id = (*match)[1];
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(documented.count(id), 1u) << id << " is no Windows version";
    declared.insert(id);
  }
  for (const auto& [id, version] : documented) EXPECT_EQ(declared.count(id), 1u) << version;
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width;
  BYTE height;
  BYTE color_count;
  BYTE reserved;
  WORD planes;
  WORD bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(AppResourcesTest, IconGroupHoldsNineThirtyTwoBitImages) {
  const std::string group = Resource(MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u);
  const auto* header = reinterpret_cast<const WORD*>(group.data());
  EXPECT_EQ(header[1], 1);  // icons, not cursors
  ASSERT_EQ(header[2], 9);
  ASSERT_EQ(group.size(), 6 + 9 * sizeof(IconGroupEntry));
  const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 128, 256};
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(sizes[i]);
    IconGroupEntry entry;
    std::memcpy(&entry, group.data() + 6 + i * sizeof(entry), sizeof(entry));
    EXPECT_EQ(entry.width == 0 ? 256 : entry.width, sizes[i]);
    EXPECT_EQ(entry.height == 0 ? 256 : entry.height, sizes[i]);
    EXPECT_EQ(entry.bit_count, 32);
    const std::string image = Resource(MAKEINTRESOURCEW(entry.id), RT_ICON);
    EXPECT_EQ(image.size(), entry.bytes);
    HICON icon = ::CreateIconFromResourceEx(
        reinterpret_cast<BYTE*>(const_cast<char*>(image.data())), static_cast<DWORD>(image.size()),
        TRUE, 0x00030000, sizes[i], sizes[i], LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) ::DestroyIcon(icon);
  }
}

TEST_F(AppResourcesTest, VersionBlockCarriesTheProductVersion) {
  DWORD unused = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path_.c_str(), &unused);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path_.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 0u);
  EXPECT_EQ(fixed->dwFileVersionLS, (18u << 16) | 10103u);
  EXPECT_EQ(fixed->dwProductVersionMS, (1u << 16) | 0u);
  EXPECT_EQ(fixed->dwProductVersionLS, (18u << 16) | 10103u);

  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  UINT translation_size = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &translation_size));
  wchar_t prefix[64];
  swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
           translation->code_page);
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"CompanyName", L"Duzavide"},           {L"FileDescription", L"Duzavide VPN Client"},
      {L"FileVersion", L"1.0.18+20260727"},    {L"InternalName", L"Duzavide"},
      {L"OriginalFilename", L"Duzavide.exe"},  {L"ProductName", L"Duzavide"},
      {L"ProductVersion", L"1.0.18+20260727"},
  };
  for (const auto& [name, value] : strings) {
    SCOPED_TRACE(name);
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), (std::wstring(prefix) + name).c_str(),
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), value);
  }
}

// Windows starts no program that asks for administrator rights from RunOnce: the
// restore program must run as the signed-in user is.
TEST(RestoreProgramResourcesTest, ManifestAsksForNoElevation) {
  HMODULE module = ::LoadLibraryExW((AppFolder() + L"\\DuzavideProxyRestore.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  const std::string manifest =
      found == nullptr
          ? std::string()
          : std::string(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                        ::SizeofResource(module, found));
  ::FreeLibrary(module);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
}

}  // namespace
}  // namespace duzavide::e2e
