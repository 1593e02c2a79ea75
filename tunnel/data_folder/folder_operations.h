// FolderOperations on the real file system.
#ifndef TUNNEL_DATA_FOLDER_FOLDER_OPERATIONS_H_
#define TUNNEL_DATA_FOLDER_FOLDER_OPERATIONS_H_

#include <windows.h>

#include <string>

#include "tunnel/data_folder/data_folder_place.h"
#include "tunnel/data_folder/folder_verification.h"

namespace duzavide {

// The kind of the volume that holds `path`.
VolumeKind VolumeKindOf(const std::wstring& path);

// Whether the volume holding the open `folder` (at `path`) keeps access lists: it
// says so, and a file created there with `security` reads back with its owner
// (some file systems say so and keep none). A volume that cannot be asked is
// taken to keep them: the folder then has to pass on its owner and list, which
// is the stricter outcome.
bool VolumeKeepsLists(HANDLE folder, const std::wstring& path, PSECURITY_DESCRIPTOR security);

// Observes, creates and moves aside folders against `security`, the descriptor
// the host gives a folder at creation and expects to read back (not owned; it
// must outlive this object). One thread at a time.
class SystemFolderOperations final : public FolderOperations {
 public:
  explicit SystemFolderOperations(PSECURITY_DESCRIPTOR security) : security_(security) {}

  // The folder is opened with FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT
  // for listing and reading its attributes and security, sharing read and write
  // but not delete.
  // Whether its volume keeps access lists is asked only when the owner or the list
  // is not as set: the volume must say so, and a file created there with
  // `security` must read back with its owner.
  FolderFacts Observe(const std::wstring& path, UniqueFileHandle* held) override;
  // Missing parents are created plainly; the folder itself with `security`.
  bool Create(const std::wstring& path, std::string* failure) override;
  bool MoveAside(const std::wstring& path, const std::wstring& aside,
                 std::string* failure) override;
  // Opened as itself (a link is never followed), then marked for deletion by
  // handle: the system refuses that for a folder with anything inside.
  bool RemoveEmpty(const std::wstring& path, std::string* failure) override;

 private:
  PSECURITY_DESCRIPTOR security_;
};

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_FOLDER_OPERATIONS_H_
