// The per-user data folder: where the proxy core's configuration is written and
// where the core executable is looked for first.
#ifndef TUNNEL_DATA_FOLDER_H_
#define TUNNEL_DATA_FOLDER_H_

#include <memory>
#include <string>

namespace duzavide {

// The local application data folder plus "\Duzavide", or "C:\ProgramData\Duzavide"
// when the system cannot name that folder. Nothing is created.
std::wstring DataFolder();

// DataFolder() plus "\config.json".
std::wstring ConfigFilePath();

// Owns a security descriptor allocated with LocalAlloc.
struct LocalFreeDeleter {
  void operator()(void* memory) const;
};
using OwnedSecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

// The data folder's security: owned by the Administrators group, an access list
// protected from inheriting anything from above that gives full control to SYSTEM
// and the Administrators group only, passed on to every file and folder created
// inside. The folder holds the configuration with the tunnel's keys, and is where
// the core is looked for first. Null when it cannot be built.
OwnedSecurityDescriptor ProtectedFolderSecurity();

// Creates `folder` with any missing parents, the folder itself with
// ProtectedFolderSecurity(); an existing folder is reused and given that security.
// A folder that is a link is left as it is (its target is not ours to change).
// True when the folder exists with that security applied; when it cannot be
// applied (the host is not elevated, or an existing folder refuses) the folder is
// still created, and false is returned. When no folder exists afterwards,
// `missing` (if given) says why.
bool CreateDataFolder(const std::wstring& folder, std::string* missing = nullptr);

// Writes `text` (UTF-8) to `path` in text mode, truncating: every line feed is
// stored as carriage return plus line feed. Others may read and write the file
// meanwhile. The file is closed on return. False when it could not be written
// whole; `failure` (if given) then says why.
bool WriteConfigFile(const std::wstring& path, const std::string& text,
                     std::string* failure = nullptr);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_H_
