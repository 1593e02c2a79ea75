// Where the proxy core executable is found and how it is started.
#ifndef TUNNEL_CORE_EXECUTABLE_H_
#define TUNNEL_CORE_EXECUTABLE_H_

#include <string>

#include "base/win_handles.h"

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
  // Why the data folder's xray.exe was passed over (CoreTrustProblem, or that it
  // could not be opened or checked); "" when it was taken or there was none.
  std::string skipped;
};

// First match wins: `data_folder` plus "\xray.exe" when that file passes the trust
// rule of core_trust.h, then "xray.exe" in the directory of the host executable.
// A data folder copy that fails the rule is skipped (see `skipped`) and the lookup
// goes on as if there were none. For the copy beside the executable the existence
// of a file system object is the only test.
CoreExecutable LocateCoreExecutable(const std::wstring& data_folder);

// The directory part of `path`: everything before its last "\" or "/", with any
// run of separators before that element dropped too.
std::wstring ParentDirectory(const std::wstring& path);

// "<core>" run -c "<config>", both paths in double quotes.
std::wstring CoreCommandLine(const std::wstring& core_path, const std::wstring& config_path);

}  // namespace duzavide

#endif  // TUNNEL_CORE_EXECUTABLE_H_
