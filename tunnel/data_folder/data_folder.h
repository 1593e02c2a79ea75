// The data folder: where the proxy core's configuration is written, where the
// host log lives (in its "logs" folder) and where the core executable is looked
// for first.
//
// The host runs elevated and the folder lies where the user may rename or replace
// things, so the host never writes into it by a path it has not checked: it is
// verified by handle (folder_verification.h) and held open while it is used.
#ifndef TUNNEL_DATA_FOLDER_DATA_FOLDER_H_
#define TUNNEL_DATA_FOLDER_DATA_FOLDER_H_

#include <memory>
#include <string>

#include "tunnel/data_folder/folder_verification.h"

namespace duzavide {

// The local application data folder plus "\Duzavide", or "C:\ProgramData\Duzavide"
// when the system cannot name that folder. Nothing is created.
std::wstring DataFolder();

// The machine-wide place used when the per-user folder cannot be made safe: the
// common application data folder plus "\Duzavide".
std::wstring SharedDataFolder();

// DataFolder() plus "\config.json": where the configuration goes when the
// per-user folder passes the check.
std::wstring ConfigFilePath();

// Owns a security descriptor allocated with LocalAlloc.
struct LocalFreeDeleter {
  void operator()(void* memory) const;
};
using OwnedSecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

// The owner and access list of the open file or folder `object` (a HANDLE); null
// when they cannot be read.
OwnedSecurityDescriptor ReadOwnerAndList(void* object);

// The data folder's security: owned by the Administrators group, an access list
// protected from inheriting anything from above that gives full control to SYSTEM
// and the Administrators group only, passed on to every file and folder created
// inside. The folder holds the configuration with the tunnel's keys, and is where
// the core is looked for first. Null when it cannot be built.
OwnedSecurityDescriptor ProtectedFolderSecurity();

// The "logs" folder's security: ProtectedFolderSecurity() plus read (list the
// folder, read the files and their attributes; never write) for `reader_sid`
// (text form), passed on to the files inside, so that the person signed in can
// open the host log without administrator rights. Null when it cannot be built.
OwnedSecurityDescriptor LogsFolderSecurity(const std::string& reader_sid);

// The SID (text form) of the account this process runs as: the user signed in
// to this session, elevated. "" when it cannot be read.
std::string CurrentUserSid();

// Verifies DataFolder(), and when that cannot be made safe SharedDataFolder(),
// with ProtectedFolderSecurity() (see VerifyFirstUsableFolder). Main or tunnel
// thread; the result holds the folder open.
VerifiedFolder VerifyDataFolder();

// Verifies the "logs" folder inside `data_folder` (a verified folder) with
// LogsFolderSecurity(CurrentUserSid()).
VerifiedFolder VerifyLogsFolder(const VerifiedFolder& data_folder);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_DATA_FOLDER_H_
