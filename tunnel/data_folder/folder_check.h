// The decision whether a folder the elevated host writes into may be used as it
// stands.
//
// The host runs elevated but its data folder lies where the signed-in user may
// rename, delete or replace things. A folder is used only when it is the one the
// host made: not a link, really at the expected path, owned and protected exactly
// as the host sets it. Anything else is never adopted (re-protecting an existing
// folder would keep what the user put inside): it is moved aside and a fresh one
// is made, unless the fault lies above the folder, where a fresh one would fail
// the same way. A folder that is not itself a link but whose real path is
// elsewhere is reached through a link above it: when every such link is owned by
// SYSTEM or the Administrators group (a program-data folder or profile an
// administrator moved to another volume), the folder is judged as any other;
// otherwise it is refused where it stands.
// A volume that keeps no access lists cannot be protected at all; its folder is
// used as it is, and nothing that runs elevated is taken from it.
//
// A pure rule over what was observed (no system header, built in every preset);
// any thread.
#ifndef TUNNEL_DATA_FOLDER_FOLDER_CHECK_H_
#define TUNNEL_DATA_FOLDER_FOLDER_CHECK_H_

#include <string>

namespace duzavide {

// What was seen of the object at a folder's path, opened as itself (a link is
// not followed).
struct FolderFacts {
  bool exists = false;  // something is at the path
  // It could be opened; when false, `open_failure` says why and nothing below
  // was observed.
  bool opened = false;
  std::string open_failure;
  bool directory = false;
  bool reparse_point = false;       // a junction, mount point or symbolic link
  bool final_path_matches = false;  // its real path is the expected path
  // Every link on the way to the path (above the folder) is owned by SYSTEM or
  // the Administrators group; only looked at when the real path is elsewhere.
  // `foreign_link` names the first that is not, and its owner.
  bool links_above_trusted = false;
  std::string foreign_link;
  bool owner_as_set = false;  // owned as the host sets it
  std::string owner;          // the owner's SID text, for the reason
  bool list_as_set = false;   // protected access list, exactly the host's
  // The volume keeps access lists: it says so, and a descriptor given at creation
  // reads back as given. Only looked at when the owner or the list is not as set.
  bool volume_keeps_lists = true;
};

enum class FolderAction {
  kUse,             // as the host made it
  kUseUnprotected,  // on a volume without access lists: usable, never trusted
  kCreate,          // nothing there yet
  kMoveAside,       // something that must not be adopted
  kRefuse,          // not used, left where it is: a fresh folder would fail the same way
};

struct FolderDecision {
  FolderAction action = FolderAction::kCreate;
  // Why, for kMoveAside, kRefuse and kUseUnprotected, e.g. "it is owned by S-1-5-21-...".
  std::string reason;
};

FolderDecision DecideFolder(const FolderFacts& facts);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_FOLDER_CHECK_H_
