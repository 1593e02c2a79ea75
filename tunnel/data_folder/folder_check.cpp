#include "tunnel/data_folder/folder_check.h"

namespace duzavide {

FolderDecision DecideFolder(const FolderFacts& facts) {
  if (!facts.exists) return {FolderAction::kCreate, ""};
  if (!facts.opened)
    return {FolderAction::kMoveAside, "it could not be opened: " + facts.open_failure};
  if (facts.reparse_point) return {FolderAction::kMoveAside, "it is a link"};
  if (!facts.directory) return {FolderAction::kMoveAside, "it is not a folder"};
  if (!facts.final_path_matches && !facts.links_above_trusted) {
    return {FolderAction::kRefuse, "its real path is elsewhere, through " + facts.foreign_link};
  }
  if (facts.owner_as_set && facts.list_as_set) return {FolderAction::kUse, ""};
  // Owner and list mean nothing where the volume keeps none: moving the folder
  // aside would gain nothing, the fresh one would look the same.
  if (!facts.volume_keeps_lists) {
    return {FolderAction::kUseUnprotected, "its volume keeps no access lists"};
  }
  if (!facts.owner_as_set) return {FolderAction::kMoveAside, "it is owned by " + facts.owner};
  return {FolderAction::kMoveAside, "its access list is not the protected one"};
}

}  // namespace duzavide
