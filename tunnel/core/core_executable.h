// Where the proxy core executable is found and how it is started.
#ifndef TUNNEL_CORE_CORE_EXECUTABLE_H_
#define TUNNEL_CORE_CORE_EXECUTABLE_H_

#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tunnel/data_folder/folder_verification.h"

namespace duzavide {

// The core chosen for a launch.
struct CoreExecutable {
  // Full path of the core; "" when none was found.
  std::wstring path;
  // For a core from the data folder: the file, held open with read sharing only
  // (no write or delete sharing) since it was checked, so that it cannot be
  // changed or swapped before it is started. Close it once the process has been
  // created.
  UniqueFileHandle held;
  // The companion files present beside a data folder core, held the same way.
  std::vector<UniqueFileHandle> held_companions;
  // Why the data folder's xray.exe was passed over (CoreTrustProblem, or that it
  // could not be opened or checked, or that the folder cannot be protected); ""
  // when it was taken or there was none.
  std::string skipped;
};

// First match wins: xray.exe in the verified `data_folder` when the folder is
// protected and the core and its companions pass the trust rule of core_trust.h
// (checked on open handles, each opened as itself and at its expected path), then
// "xray.exe" in the directory of the host executable. A data folder copy that
// fails is skipped (see `skipped`) and the lookup goes on as if there were none.
// For the copy beside the executable the existence of a file system object is the
// only test.
CoreExecutable LocateCoreExecutable(const VerifiedFolder& data_folder);

// The directory part of `path`: everything before its last "\" or "/", with any
// run of separators before that element dropped too.
std::wstring ParentDirectory(const std::wstring& path);

// "<core>" run -c "<config>", both paths in double quotes.
std::wstring CoreCommandLine(const std::wstring& core_path, const std::wstring& config_path);

}  // namespace duzavide

#endif  // TUNNEL_CORE_CORE_EXECUTABLE_H_
