// Where the proxy core executable is found and how it is started.
#ifndef TUNNEL_CORE_EXECUTABLE_H_
#define TUNNEL_CORE_EXECUTABLE_H_

#include <string>

namespace duzavide {

// First match wins: `data_folder` plus "\xray.exe", then "xray.exe" in the directory
// of the host executable. Existence of a file system object is the only test.
// Returns "" when neither exists.
std::wstring LocateCoreExecutable(const std::wstring& data_folder);

// The directory part of `path`: everything before its last "\" or "/", with any
// run of separators before that element dropped too.
std::wstring ParentDirectory(const std::wstring& path);

// "<core>" run -c "<config>", both paths in double quotes.
std::wstring CoreCommandLine(const std::wstring& core_path, const std::wstring& config_path);

}  // namespace duzavide

#endif  // TUNNEL_CORE_EXECUTABLE_H_
