// The data folder sequence: against a fake of what a real volume reports (Wine
// keeps no owners or access lists, so only a fake can show Windows' answers), and
// once against the real file system.
#include "tunnel/data_folder/folder_verification.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/wide_to_utf8.h"
#include "tunnel/data_folder/folder_operations.h"
#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kLocal[] = L"C:\\Users\\u\\AppData\\Local\\Duzavide";
constexpr wchar_t kShared[] = L"C:\\ProgramData\\Duzavide";
constexpr wchar_t kStamp[] = L"20260727T091502Z";

// What a real volume would report: the folder as the host makes it, unless told
// otherwise.
FolderFacts Facts(bool owner_as_set = true, bool list_as_set = true, bool link = false,
                  bool keeps_lists = true) {
  FolderFacts facts;
  facts.exists = facts.opened = facts.directory = true;
  facts.reparse_point = link;
  facts.final_path_matches = !link;
  facts.owner_as_set = owner_as_set;
  facts.owner = owner_as_set ? "S-1-5-32-544" : "S-1-5-21-0-0-0-1000";
  facts.list_as_set = list_as_set;
  facts.volume_keeps_lists = keeps_lists;
  return facts;
}
const FolderFacts kAsMade = Facts();
const FolderFacts kUserOwned = Facts(false, false);
const FolderFacts kJunction = Facts(true, true, true);
const FolderFacts kThroughALinkAbove = [] {
  FolderFacts facts = Facts();
  facts.final_path_matches = false;
  facts.foreign_link = "the link C:\\Users\\u\\AppData, owned by S-1-5-21-0-0-0-1000";
  return facts;
}();

// Paths show what `at` says (nothing when absent); a created folder shows
// `after_create` for its path, or kAsMade. Records every change as "move <path>",
// "create <path>" or "remove <path>"; a link is not removed, as the real removal
// refuses it.
class FakeFolders final : public FolderOperations {
 public:
  std::map<std::wstring, FolderFacts> at;
  std::map<std::wstring, FolderFacts> after_create;
  std::set<std::wstring> refuse_move;
  std::set<std::wstring> refuse_create;
  std::vector<std::string> changes;

  FolderFacts Observe(const std::wstring& path, UniqueFileHandle* /*held*/) override {
    auto found = at.find(path);
    return found == at.end() ? FolderFacts() : found->second;
  }
  bool Create(const std::wstring& path, std::string* failure) override {
    changes.push_back("create " + WideToUtf8(path));
    if (refuse_create.count(path) != 0 || at.count(path) != 0) {
      *failure = "denied";
      return false;
    }
    at[path] = after_create.count(path) != 0 ? after_create[path] : kAsMade;
    return true;
  }
  bool MoveAside(const std::wstring& path, const std::wstring& /*aside*/,
                 std::string* failure) override {
    changes.push_back("move " + WideToUtf8(path));
    if (refuse_move.count(path) != 0) {
      *failure = "denied";
      return false;
    }
    at.erase(path);
    return true;
  }
  bool RemoveEmpty(const std::wstring& path, std::string* failure) override {
    changes.push_back("remove " + WideToUtf8(path));
    if (at[path].reparse_point) {
      *failure = "it is not a plain folder";
      return false;
    }
    at.erase(path);
    return true;
  }
};

std::string MovedAside(const std::wstring& path, const std::string& reason) {
  return "the folder " + WideToUtf8(path) + " was moved aside to " + WideToUtf8(path) +
         ".untrusted-20260727T091502Z -- " + reason;
}
std::string PassedOver(const std::string& reason) {
  return "the folder " + WideToUtf8(kLocal) + ": " + reason + "; " + WideToUtf8(kShared) +
         " is used instead";
}

TEST(FolderVerificationTest, NeverAdoptsAFolderItDidNotMakeAndFallsBackToTheSharedOne) {
  const std::string local = WideToUtf8(kLocal);
  const std::string shared = WideToUtf8(kShared);
  struct Case {
    const char* name;
    std::map<std::wstring, FolderFacts> at;
    std::set<std::wstring> refuse_move;
    std::set<std::wstring> refuse_create;
    std::map<std::wstring, FolderFacts> after_create;
    std::wstring used;
    bool is_protected;
    std::vector<std::string> changes;
    std::vector<std::string> notes;
    std::string problem;
  } cases[] = {
      // clang-format off
      {"a fresh folder", {}, {}, {}, {}, kLocal, true, {"create " + local}, {}, ""},
      {"kept as made", {{kLocal, kAsMade}}, {}, {}, {}, kLocal, true, {}, {}, ""},
      {"an adopted user-owned folder", {{kLocal, kUserOwned}}, {}, {}, {}, kLocal, true,
       {"move " + local, "create " + local},
       {MovedAside(kLocal, "it is owned by S-1-5-21-0-0-0-1000")}, ""},
      {"a junction", {{kLocal, kJunction}}, {}, {}, {}, kLocal, true,
       {"move " + local, "create " + local}, {MovedAside(kLocal, "it is a link")}, ""},
      {"a list that is not the protected one", {{kLocal, Facts(true, false)}}, {}, {}, {},
       kLocal, true, {"move " + local, "create " + local},
       {MovedAside(kLocal, "its access list is not the protected one")}, ""},
      {"a volume without persistent lists", {{kLocal, Facts(false, false, false, false)}},
       {}, {}, {}, kLocal, false, {}, {}, ""},
      {"moving aside fails: the shared folder", {{kLocal, kUserOwned}, {kShared, kAsMade}},
       {kLocal}, {}, {}, kShared, true, {"move " + local},
       {PassedOver("it is owned by S-1-5-21-0-0-0-1000, and it could not be moved aside: denied")},
       ""},
      {"creation fails: the shared folder", {}, {}, {kLocal}, {}, kShared, true,
       {"create " + local, "create " + shared},
       {PassedOver("it could not be created: denied")}, ""},
      {"swapped right after creation: the link is not removed", {}, {}, {},
       {{kLocal, kJunction}}, kShared, true,
       {"create " + local, "remove " + local, "create " + shared},
       {PassedOver("the new folder fails the check: it is a link, and it could not be "
                   "removed: it is not a plain folder")}, ""},
      {"reached through a link above it: left alone", {{kLocal, kThroughALinkAbove}}, {},
       {}, {}, kShared, true, {"create " + shared},
       {PassedOver("its real path is elsewhere, through the link C:\\Users\\u\\AppData, "
                   "owned by S-1-5-21-0-0-0-1000")},
       ""},
      {"neither usable", {{kLocal, kUserOwned}, {kShared, kJunction}}, {kLocal, kShared}, {},
       {}, L"", false, {"move " + local, "move " + shared}, {},
       local + ": it is owned by S-1-5-21-0-0-0-1000, and it could not be moved aside: denied; " +
           shared + ": it is a link, and it could not be moved aside: denied"},
      // clang-format on
  };
  for (const Case& c : cases) {
    FakeFolders folders;
    folders.at = c.at;
    folders.refuse_move = c.refuse_move;
    folders.refuse_create = c.refuse_create;
    folders.after_create = c.after_create;
    const VerifiedFolder folder = VerifyFirstUsableFolder(folders, {kLocal, kShared}, kStamp);
    EXPECT_EQ(folder.path, c.used) << c.name;
    EXPECT_EQ(folder.is_protected, c.is_protected) << c.name;
    EXPECT_EQ(folders.changes, c.changes) << c.name;
    EXPECT_EQ(folder.notes, c.notes) << c.name;
    EXPECT_EQ(folder.problem, c.problem) << c.name;
    // Said whenever a folder is used without protection, and only then.
    EXPECT_EQ(folder.unprotected_note.empty(), c.used.empty() || c.is_protected) << c.name;
  }
}

// A fresh folder that keeps failing (a policy the host cannot see past): the
// first start moves the old folder aside once; no start leaves a folder behind
// or moves anything aside again.
TEST(FolderVerificationTest, AFolderIsMovedAsideAtMostOnceHoweverOftenTheCheckFails) {
  const std::string local = WideToUtf8(kLocal);
  FakeFolders folders;
  folders.at[kLocal] = kUserOwned;
  folders.after_create[kLocal] = kUserOwned;
  for (int start = 0; start < 3; ++start) {
    const VerifiedFolder folder = VerifyFolder(folders, kLocal, kStamp);
    EXPECT_TRUE(folder.path.empty()) << "start " << start;
    EXPECT_EQ(folder.problem, local +
                                  ": the new folder fails the check: it is owned by "
                                  "S-1-5-21-0-0-0-1000")
        << "start " << start;
  }
  EXPECT_EQ(folders.changes,
            (std::vector<std::string>{"move " + local, "create " + local, "remove " + local,
                                      "create " + local, "remove " + local, "create " + local,
                                      "remove " + local}));
  EXPECT_EQ(folders.at.count(kLocal), 0u);
}

// The real operations: a file where the folder goes is moved aside, never
// adopted or deleted, and the fresh folder is held open.
TEST(FolderVerificationTest, AFileWhereTheFolderGoesIsMovedAsideForAFreshFolder) {
  const fs::path root = fs::temp_directory_path() / "folder-verification-test";
  std::error_code error;
  fs::remove_all(root, error);
  fs::create_directories(root);
  const fs::path path = root / "Duzavide";
  std::ofstream(path) << "planted";
  UniqueSecurityDescriptor security = ProtectedFolderSecurity();
  SystemFolderOperations operations(security.Get());
  {
    const VerifiedFolder folder = VerifyFolder(operations, path.wstring(), kStamp);
    EXPECT_EQ(folder.path, path.wstring());
    EXPECT_TRUE(folder.held.IsValid());
    EXPECT_TRUE(fs::is_directory(path));
    std::ostringstream aside;
    aside << std::ifstream(root / "Duzavide.untrusted-20260727T091502Z").rdbuf();
    EXPECT_EQ(aside.str(), "planted");
    EXPECT_EQ(folder.notes,
              std::vector<std::string>{MovedAside(path.wstring(), "it is not a folder")});
    // Wine says its volume keeps access lists but reads every file back as the
    // user's: the host must see through that, use the folder, and trust nothing
    // in it.
    EXPECT_FALSE(folder.is_protected);

    // Looked at again while held: used as it is.
    const VerifiedFolder again = VerifyFolder(operations, path.wstring(), L"20260727T091503Z");
    EXPECT_EQ(again.path, path.wstring());
    EXPECT_TRUE(again.notes.empty());
  }
  fs::remove_all(root, error);
}

}  // namespace
}  // namespace duzavide
