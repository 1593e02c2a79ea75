// The rule for the folder the host is started from: each refusal alone, every
// other fact as for a folder an installer made under Program Files.
#include "tunnel/core/executable_folder_trust.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace duzavide {
namespace {

constexpr char kUsers[] = "S-1-5-32-545";

SecurityFacts Owned(const std::string& owner, const std::string& writer) {
  return SecurityFacts{
      true, owner, true, {AccessEntry{AccessEntry::Kind::kAllow, false, 0x1f01ff, writer}}};
}
const SecurityFacts kInstalled = Owned("S-1-5-32-544", "S-1-5-18");
const SecurityFacts kUserWritable = Owned("S-1-5-32-544", kUsers);

ExecutableFolderFacts Installed() {
  ExecutableFolderFacts facts;
  facts.launch_path = L"C:\\Program Files\\Duzavide Connect\\Duzavide.exe";
  facts.real_path = L"\\\\?\\c:\\program files\\duzavide connect\\DUZAVIDE.EXE";
  facts.files = {{"Duzavide.exe", kInstalled}, {"flutter_windows.dll", kInstalled}};
  facts.folder = kInstalled;
  facts.sub_folders = {{"data", kInstalled}};
  return facts;
}

TEST(ExecutableFolderTrustTest, RunsOnlyFromAFolderOnlyAdministratorsChange) {
  struct Case {
    const char* name;
    std::function<void(ExecutableFolderFacts&)> change;
    std::string refusal;
    std::string note = "";
  } cases[] = {
      {"installed", [](ExecutableFolderFacts&) {}, ""},
      {"started through a junction",
       [](ExecutableFolderFacts& f) { f.launch_path = L"C:\\Users\\u\\app\\Duzavide.exe"; },
       "it was started through a link: the file's real path is another"},
      {"real path unreadable", [](ExecutableFolderFacts& f) { f.real_path.clear(); },
       "the executable's real path could not be read"},
      {"a share, named both ways",
       [](ExecutableFolderFacts& f) {
         f.launch_path = L"\\\\server\\apps\\Duzavide.exe";
         f.real_path = L"\\\\?\\UNC\\server\\apps\\Duzavide.exe";
         f.volume = VolumeKind::kNetwork;
       },
       "it is on a network share"},
      {"a removable drive", [](ExecutableFolderFacts& f) { f.volume = VolumeKind::kRemovable; },
       "it is on a removable drive"},
      {"a link among the files",
       [](ExecutableFolderFacts& f) { f.open_problem = "flutter_windows.dll is a link"; },
       "flutter_windows.dll is a link"},
      {"unpacked in the user's folder", [](ExecutableFolderFacts& f) { f.folder = kUserWritable; },
       "the folder lets S-1-5-32-545 change it"},
      {"engine replaced by the user",
       [](ExecutableFolderFacts& f) { f.files[1].security = Owned("S-1-5-21-1", "S-1-5-18"); },
       "flutter_windows.dll is owned by S-1-5-21-1"},
      {"engine hard-linked", [](ExecutableFolderFacts& f) { f.files[1].links = 2; },
       "flutter_windows.dll has 2 links"},
      {"engine data writable",
       [](ExecutableFolderFacts& f) { f.sub_folders[0].security = kUserWritable; },
       "the folder data lets S-1-5-32-545 change it"},
      {"a volume without lists",
       [](ExecutableFolderFacts& f) {
         f.folder = kUserWritable;
         f.volume_keeps_lists = false;
       },
       "",
       "the executable's folder cannot be protected -- its volume keeps no access lists (the "
       "folder lets S-1-5-32-545 change it)"},
      {"a junction on a volume without lists",
       [](ExecutableFolderFacts& f) {
         f.launch_path = L"C:\\j\\Duzavide.exe";
         f.volume_keeps_lists = false;
       },
       "it was started through a link: the file's real path is another"},
  };
  for (const Case& c : cases) {
    ExecutableFolderFacts facts = Installed();
    c.change(facts);
    const ExecutableFolderVerdict verdict = JudgeExecutableFolder(facts);
    EXPECT_EQ(verdict.refusal, c.refusal) << c.name;
    EXPECT_EQ(verdict.note, c.note) << c.name;
  }
}

}  // namespace
}  // namespace duzavide
