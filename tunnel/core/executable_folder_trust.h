// The rule that decides whether the host may run from the folder it was started
// from.
//
// The host runs elevated. From its own folder it loads the engine library (and the
// engine its compiled application), starts the proxy core (which loads its TUN
// library and data files there) and registers the restore program for the next
// sign-in. Whoever may change any of these, or the folder itself, runs code with
// administrator rights. So the host starts only when:
//  - the path it was started by is its image's real path: a link on the way could
//    be pointed elsewhere after the consent prompt showed the genuine file;
//  - the folder is on a local fixed volume: on a share or a removable medium the
//    owners and lists are whatever the server or the medium says;
//  - the folder, its sub-folders the engine reads and every file it loads or starts
//    from them that is present pass the core's trust rule (core_trust.h): owned by
//    SYSTEM, the Administrators group or TrustedInstaller, changeable by nobody
//    else, each file with one name. A file that is missing cannot be added later
//    by anyone else, since the folder passes too.
// On a local volume that keeps no access lists at all, owners and lists say
// nothing: the folder is then used as it is, with a note, as the data folder is
// (folder_check.h).
//
// Pure (no system header, built in every preset); any thread.
#ifndef TUNNEL_CORE_EXECUTABLE_FOLDER_TRUST_H_
#define TUNNEL_CORE_EXECUTABLE_FOLDER_TRUST_H_

#include <string>
#include <vector>

#include "tunnel/core/core_trust.h"
#include "tunnel/data_folder/data_folder_place.h"
#include "tunnel/data_folder/security_facts.h"

namespace duzavide {

// What was read of the executable's folder, each object opened as itself at its
// expected path.
struct ExecutableFolderFacts {
  // The path the process was started by, short names expanded.
  std::wstring launch_path;
  // The real path of the image file opened by `launch_path`, links resolved, as
  // the system writes it (it may start with "\\?\"); "" when it cannot be read.
  std::wstring real_path;
  VolumeKind volume = VolumeKind::kLocalFixed;
  // The first object that could not be opened or examined, or that is a link:
  // why ("flutter_windows.dll is a link"); "" when there is none.
  std::string open_problem;
  // The executable first, then each file present that the host loads or starts.
  std::vector<CoreFile> files;
  SecurityFacts folder;  // the executable's folder
  // Its sub-folders present that the engine reads, each named as in the reason
  // ("data").
  struct SubFolder {
    std::string name;
    SecurityFacts security;
  };
  std::vector<SubFolder> sub_folders;
  // Only looked at when an owner or a list fails (see ExecutableFolderObjectsProblem).
  bool volume_keeps_lists = true;
};

struct ExecutableFolderVerdict {
  std::string refusal;  // why the host must not run; "" when it may
  std::string note;     // when it runs unprotected: one line for the host log
};

// The first owner, list or links problem of the files (CoreTrustProblem, with
// the folder), then of the sub-folders; "" when there is none.
std::string ExecutableFolderObjectsProblem(const ExecutableFolderFacts& facts);

// Judged in this order: the launch path, the volume, `open_problem`, then the
// objects (a failure there is a note instead when the volume keeps no lists).
ExecutableFolderVerdict JudgeExecutableFolder(const ExecutableFolderFacts& facts);

}  // namespace duzavide

#endif  // TUNNEL_CORE_EXECUTABLE_FOLDER_TRUST_H_
