// The data folder: where the proxy core's configuration is written and where
// the core executable is looked for first; and, beside it, the logs folder where
// the host log lives.
//
// The host runs elevated and the folder lies where the user may rename or replace
// things, so the host never writes into it by a path it has not checked: it is
// verified by handle (folder_verification.h) and held open while it is used.
#ifndef TUNNEL_DATA_FOLDER_DATA_FOLDER_H_
#define TUNNEL_DATA_FOLDER_DATA_FOLDER_H_

#include <string>

#include "tunnel/data_folder/folder_verification.h"

namespace duzavide {

// The user's own folder in the machine's program-data folder,
// "C:\ProgramData\Duzavide-<SID>" (data_folder_place.h: no path from the user's
// registry, a local fixed volume); empty when the place is refused. Nothing is
// created.
std::wstring DataFolder();

// The machine-wide place used when the per-user folder cannot be made safe:
// "C:\ProgramData\Duzavide"; empty when the place is refused.
std::wstring SharedDataFolder();

// Turns on the process's redirection trust policy where Windows offers it: a
// junction made by a non-administrator is then not followed by this process.
// Best effort; call before the first file operation. Main thread.
void EnableRedirectionTrust();

// The user's logs folder beside the data folders,
// "C:\ProgramData\Duzavide-<SID>-logs"; empty when the place is refused. The user
// may read it, so it must not lie inside a data folder: Explorer's offer to open
// a folder the user cannot read adds the user to its list, and the data folder
// with the user on its list would be moved aside at the next start. Nothing is
// created.
std::wstring LogsFolder();

// DataFolder() plus "\config.json": where the configuration goes when the
// per-user folder passes the check.
std::wstring ConfigFilePath();

// Verifies DataFolder(), and when that cannot be made safe SharedDataFolder(),
// or says why the place is refused,
// with ProtectedFolderSecurity() (security_descriptors.h; see
// VerifyFirstUsableFolder). Main or tunnel thread; the result holds the folder
// open.
VerifiedFolder VerifyDataFolder();

// Verifies LogsFolder() with LogsFolderSecurity of the person signed in
// (base/signed_in_user.h), when `data_folder` (a verified folder) could be used:
// without a data folder there is no place for the logs either.
VerifiedFolder VerifyLogsFolder(const VerifiedFolder& data_folder);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_DATA_FOLDER_H_
