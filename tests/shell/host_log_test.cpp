// HostLog against real files in a fresh temporary folder.
#include "shell/host_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/win_handles.h"

namespace duzavide {
namespace {

namespace fs = std::filesystem;

// The texts of the entries in `file`, each checked for its stamp and CR LF end.
std::vector<std::string> Entries(const fs::path& file) {
  std::string text;
  if (FILE* in = _wfopen(file.wstring().c_str(), L"rb")) {  // shared, as a viewer opens it
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof(buffer), in)) > 0;) text.append(buffer, got);
    fclose(in);
  }
  std::istringstream bytes(text);
  static const std::regex kEntry(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z ([^\r]*)\r)");
  std::vector<std::string> texts;
  std::smatch match;
  for (std::string line; std::getline(bytes, line);) {
    EXPECT_TRUE(std::regex_match(line, match, kEntry)) << line;
    texts.push_back(match[1]);
  }
  return texts;
}

TEST(HostLogTest, PastTheBoundTheFileMovesAsideAndOnlyTheNewestTwoFilesStay) {
  const fs::path root = fs::temp_directory_path() / "host-log-test";
  fs::remove_all(root);
  fs::create_directories(root / "folder");
  // The log holds its file until it goes, and only then is the folder removed.
  {
    constexpr uint64_t kBound = 300;  // eight entries of 35 bytes
    HostLog log((root / "folder").wstring(), kBound);
    std::vector<std::string> written;
    for (int i = 10; i < 40; ++i) {
      written.push_back("entry " + std::to_string(i));
      // A core line keeps the carriage return of its CR LF; the entry does not.
      log.Write(written.back() + "\r");
    }
    const fs::path current = root / "folder" / "host.log";
    const fs::path older = root / "folder" / "host.log.1";
    EXPECT_LE(fs::file_size(current), kBound);
    EXPECT_LE(fs::file_size(older), kBound);

    // The older file directly precedes the current one; earlier entries are gone.
    std::vector<std::string> kept = Entries(older);
    const std::vector<std::string> newest = Entries(current);
    EXPECT_EQ(kept.size(), 8u);
    kept.insert(kept.end(), newest.begin(), newest.end());
    EXPECT_EQ(kept, std::vector<std::string>(written.end() - kept.size(), written.end()));
    EXPECT_EQ(newest.size(), 6u);
  }
  fs::remove_all(root);
}

// A viewer that holds "host.log.1" without sharing deletion (as most editors do)
// makes every rotation fail: the log keeps its file and every line up to twice
// the bound, opens nothing more until the rotation can succeed again, and past
// twice the bound empties its file rather than grow without end.
TEST(HostLogTest, AHeldOlderFileCostsNoOpenPerLineAndLosesNoLine) {
  const fs::path root = fs::temp_directory_path() / "host-log-held-test";
  fs::remove_all(root);
  fs::create_directories(root);
  {
    const fs::path older = root / "host.log.1";
    UniqueFileHandle viewer(::CreateFileW(older.wstring().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(viewer.IsValid());
    int opens = 0;
    HostLog log(root.wstring(), /*rotation_bytes=*/300, [&opens](const std::wstring& path) {
      ++opens;
      return HostLog::OpenForAppending(path);
    });
    std::vector<std::string> written;
    // 16 entries of 35 bytes: within twice the bound.
    for (int i = 10; i < 26; ++i) {
      written.push_back("entry " + std::to_string(i));
      log.Write(written.back());
    }
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(Entries(root / "host.log"), written);
    // The next entry would pass it: the file starts again, saying why.
    for (int i = 26; i < 50; ++i) {
      written.push_back("entry " + std::to_string(i));
      log.Write(written.back());
    }
    EXPECT_EQ(opens, 1);
    const std::vector<std::string> after_cut = Entries(root / "host.log");
    ASSERT_GE(after_cut.size(), 2u);
    EXPECT_EQ(after_cut.front().rfind("the log was cut at ", 0), 0u) << after_cut.front();
    EXPECT_EQ(std::vector<std::string>(after_cut.begin() + 1, after_cut.end()),
              std::vector<std::string>(written.end() - (after_cut.size() - 1), written.end()));
    EXPECT_LE(fs::file_size(root / "host.log"), 600u);
    written = after_cut;

    // Once the viewer lets go, the next attempt rotates, with one open.
    viewer.Reset();
    for (int i = 50; i < 55; ++i) {
      written.push_back("entry " + std::to_string(i));
      log.Write(written.back());
    }
    EXPECT_EQ(opens, 2);
    std::vector<std::string> kept = Entries(older);
    const std::vector<std::string> newest = Entries(root / "host.log");
    kept.insert(kept.end(), newest.begin(), newest.end());
    EXPECT_EQ(kept, written);
  }
  fs::remove_all(root);
}

}  // namespace
}  // namespace duzavide
