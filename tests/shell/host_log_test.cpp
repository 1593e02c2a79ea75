// HostLog against real files in a fresh temporary folder.
#include "shell/host_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace duzavide {
namespace {

namespace fs = std::filesystem;

class HostLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() / ("host-log-test-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // The texts of the entries in `file`, each checked for its stamp and CR LF end.
  static std::vector<std::string> Entries(const fs::path& file) {
    std::string bytes;
    // Opened as a person's viewer would, while the log may still hold the file.
    if (FILE* in = _wfopen(file.wstring().c_str(), L"rb")) {
      char buffer[4096];
      for (size_t got; (got = fread(buffer, 1, sizeof(buffer), in)) > 0;) bytes.append(buffer, got);
      fclose(in);
    }
    static const std::regex kEntry(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z ([^\r\n]*)\r\n)");
    std::vector<std::string> texts;
    size_t matched = 0;
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), kEntry), end; it != end; ++it) {
      EXPECT_EQ(static_cast<size_t>(it->position()), matched) << bytes;
      matched += static_cast<size_t>(it->length());
      texts.push_back((*it)[1]);
    }
    EXPECT_EQ(matched, bytes.size()) << "not whole entries: " << bytes;
    return texts;
  }

  fs::path root_;
};

TEST_F(HostLogTest, WritesStampedSingleLinesIntoAFolderItCreates) {
  const struct {
    std::string text;
    std::string entry;
  } cases[] = {
      {"[xray] TUN and WireGuard transport started", "[xray] TUN and WireGuard transport started"},
      {"core line ended by CR LF\r", "core line ended by CR LF"},
      {"two\nlines\r\nin one", "two lines  in one"},
      {"", ""},
  };
  const fs::path folder = root_ / "a" / "b";
  HostLog log(folder.wstring());
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    log.Write(c.text);
    expected.push_back(c.entry);
  }
  EXPECT_EQ(Entries(folder / "host.log"), expected);
}

TEST_F(HostLogTest, PastTheBoundTheFileMovesAsideAndOnlyTheNewestTwoFilesStay) {
  constexpr uint64_t kBound = 300;  // about eight entries of 35 bytes
  HostLog log(root_.wstring(), kBound);
  std::vector<std::string> written;
  for (int i = 10; i < 40; ++i) {
    written.push_back("entry " + std::to_string(i));
    log.Write(written.back());
  }
  const fs::path current = root_ / "host.log";
  const fs::path older = root_ / "host.log.1";
  EXPECT_LE(fs::file_size(current), kBound);
  EXPECT_LE(fs::file_size(older), kBound);
  EXPECT_FALSE(fs::exists(root_ / "host.log.2"));

  // The older file directly precedes the current one; earlier files are gone.
  std::vector<std::string> kept = Entries(older);
  const std::vector<std::string> newest = Entries(current);
  EXPECT_GT(kept.size(), 4u);
  EXPECT_FALSE(newest.empty());
  kept.insert(kept.end(), newest.begin(), newest.end());
  ASSERT_LT(kept.size(), written.size());
  EXPECT_EQ(kept, std::vector<std::string>(written.end() - kept.size(), written.end()));
}

}  // namespace
}  // namespace duzavide
