// The decision on a folder the elevated host writes into, over what was seen of
// it.
#include "tunnel/data_folder/folder_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duzavide {
namespace {

// Each row turns over only the facts it names, from the folder as the host makes
// it, so every refusal has to hold on its own.
TEST(FolderCheckTest, EachRefusalStandsAloneAndOnlyAVolumeWithoutListsExcusesOwnerAndList) {
  using F = FolderFacts;
  struct Case {
    std::vector<bool F::*> turned;
    FolderAction action;
    std::string reason;
  } cases[] = {
      {{}, FolderAction::kUse, ""},
      {{&F::exists}, FolderAction::kCreate, ""},
      {{&F::opened},
       FolderAction::kMoveAside,
       "it could not be opened: Access is denied (error 5)"},
      {{&F::reparse_point}, FolderAction::kMoveAside, "it is a link"},
      {{&F::directory}, FolderAction::kMoveAside, "it is not a folder"},
      // Reached through links an administrator made: judged as any other.
      {{&F::final_path_matches}, FolderAction::kUse, ""},
      {{&F::final_path_matches, &F::links_above_trusted},
       FolderAction::kRefuse,
       "its real path is elsewhere, through the link C:\\ProgramData, owned by "
       "S-1-5-21-0-0-0-1000"},
      {{&F::links_above_trusted}, FolderAction::kUse, ""},
      {{&F::owner_as_set}, FolderAction::kMoveAside, "it is owned by S-1-5-21-0-0-0-1000"},
      {{&F::list_as_set}, FolderAction::kMoveAside, "its access list is not the protected one"},
      {{&F::volume_keeps_lists}, FolderAction::kUse, ""},
      {{&F::owner_as_set, &F::volume_keeps_lists},
       FolderAction::kUseUnprotected,
       "its volume keeps no access lists"},
      {{&F::list_as_set, &F::volume_keeps_lists},
       FolderAction::kUseUnprotected,
       "its volume keeps no access lists"},
      {{&F::reparse_point, &F::owner_as_set, &F::volume_keeps_lists},
       FolderAction::kMoveAside,
       "it is a link"},
      {{&F::final_path_matches, &F::links_above_trusted, &F::list_as_set, &F::volume_keeps_lists},
       FolderAction::kRefuse,
       "its real path is elsewhere, through the link C:\\ProgramData, owned by "
       "S-1-5-21-0-0-0-1000"},
      {{&F::final_path_matches, &F::owner_as_set},
       FolderAction::kMoveAside,
       "it is owned by S-1-5-21-0-0-0-1000"},
  };
  for (size_t row = 0; row < std::size(cases); ++row) {
    FolderFacts facts;
    facts.exists = facts.opened = facts.directory = facts.final_path_matches = true;
    facts.owner_as_set = facts.list_as_set = facts.volume_keeps_lists = true;
    facts.links_above_trusted = true;
    facts.open_failure = "Access is denied (error 5)";  // read only when not opened
    facts.owner = "S-1-5-21-0-0-0-1000";                // read only when not as set
    // Read only when a link above is not trusted.
    facts.foreign_link = "the link C:\\ProgramData, owned by S-1-5-21-0-0-0-1000";
    for (bool F::*fact : cases[row].turned) facts.*fact = !(facts.*fact);
    const FolderDecision decision = DecideFolder(facts);
    EXPECT_EQ(decision.action, cases[row].action) << "row " << row;
    EXPECT_EQ(decision.reason, cases[row].reason) << "row " << row;
  }
}

}  // namespace
}  // namespace duzavide
