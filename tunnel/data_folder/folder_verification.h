// The sequence that makes a folder usable for the elevated host: look at it as
// it stands, use it, or move it aside and make a fresh one, and hold it open for
// as long as it is used.
//
// The file system is reached through FolderOperations, so the whole sequence can
// be run against a fake of what a real volume would report (the real one is in
// folder_operations.h).
#ifndef TUNNEL_DATA_FOLDER_FOLDER_VERIFICATION_H_
#define TUNNEL_DATA_FOLDER_FOLDER_VERIFICATION_H_

#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tunnel/data_folder/folder_check.h"

namespace duzavide {

// What the sequence needs of the file system. Used from one thread at a time.
class FolderOperations {
 public:
  virtual ~FolderOperations() = default;
  // Opens what is at `path` as itself (a link is not followed), sharing read and
  // write but not delete, and reports what it sees. The open handle goes to
  // `held` (it may stay empty, e.g. in a fake).
  virtual FolderFacts Observe(const std::wstring& path, UniqueFileHandle* held) = 0;
  // Creates the folder `path` with the host's security given at creation. False
  // (with `failure`) also when something is already there.
  virtual bool Create(const std::wstring& path, std::string* failure) = 0;
  // Renames what is at `path` (the link itself, for a link) to `aside`.
  virtual bool MoveAside(const std::wstring& path, const std::wstring& aside,
                         std::string* failure) = 0;
  // Deletes the folder at `path` only when it is a plain, empty folder (not a
  // link); false (with `failure`) otherwise.
  virtual bool RemoveEmpty(const std::wstring& path, std::string* failure) = 0;
};

// A folder accepted for use. Move-only; the folder cannot be renamed or replaced
// while `held` is open.
struct VerifiedFolder {
  std::wstring path;  // "" when no folder could be used
  UniqueFileHandle held;
  // Owned and protected as the host sets it. False on a volume without access
  // lists: then anyone may have changed what is inside, and nothing that runs
  // elevated may be taken from it.
  bool is_protected = false;
  // Lines for the host log, in order: what was moved aside and why, and which
  // folder could not be used (and why) when another one is.
  std::vector<std::string> notes;
  // When the folder is used but not protected: one line saying so and why.
  std::string unprotected_note;
  // When `path` is empty: the folder (or folders) and why, for one status line.
  std::string problem;
};

// Checks `path` and makes it usable: an acceptable folder is kept; nothing there
// is created; a folder refused where it stands is left alone; anything else is
// renamed to `<path>.untrusted-<stamp>` and a fresh folder is created, which must
// then pass the check itself. A fresh folder that fails is removed again (it is
// empty and the host's own), so a folder is moved aside at most once however
// often the check fails, and no start leaves a folder behind. `stamp` is the UTC
// time as yyyymmddThhmmssZ.
VerifiedFolder VerifyFolder(FolderOperations& operations, const std::wstring& path,
                            const std::wstring& stamp);

// VerifyFolder on each of `paths` in turn; the first usable one wins. The notes
// of every attempt are kept, and each folder passed over gets one more saying
// why; the problem names each folder tried and its reason.
VerifiedFolder VerifyFirstUsableFolder(FolderOperations& operations,
                                       const std::vector<std::wstring>& paths,
                                       const std::wstring& stamp);

// The current UTC time as yyyymmddThhmmssZ.
std::wstring UtcStamp();

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_FOLDER_VERIFICATION_H_
