// Where the elevated host's data folders lie.
//
// The host takes no path from the user's registry: the user's shell folders
// (Local AppData and the others) may be pointed by any program of the user at a
// share, a WebDAV folder or a junction of their choosing, and the elevated host
// would create, rename and write there. The place comes from the machine's
// record of its program-data folder (HKLM's profile list, which only
// administrators change), with the system drive taken from the system's own
// Windows folder rather than from an environment variable; each user has a
// folder of their own there, named after their SID. The program-data folder is
// normally on the system volume, which holds no profile container or moved Users
// folder, so the path the host checks is the path it uses; where an administrator
// moved it elsewhere through a link, the folder check judges the links. A place on a share, on a
// WebDAV folder or on a removable or unknown volume is refused: owners and lists
// there are whatever the server or the medium says.
//
// Pure (no system header, built in every preset); any thread.
#ifndef TUNNEL_DATA_FOLDER_DATA_FOLDER_PLACE_H_
#define TUNNEL_DATA_FOLDER_DATA_FOLDER_PLACE_H_

#include <string>

namespace duzavide {

enum class VolumeKind { kLocalFixed, kNetwork, kRemovable, kOther };

struct DataFolderPlaceFacts {
  // The machine's record of the program-data folder as stored, variables not
  // expanded ("%SystemDrive%\ProgramData"); empty when there is none.
  std::wstring program_data_record;
  std::wstring windows_folder;  // the system's Windows folder ("C:\Windows")
  std::wstring user_sid;        // the signed-in user's SID text
  // The kind of the volume holding the program-data folder; the host reads it
  // for the resolved path.
  VolumeKind volume = VolumeKind::kLocalFixed;
};

struct DataFolderPlace {
  std::wstring program_data;  // "C:\ProgramData"; empty when refused
  std::wstring shared;        // program_data + "\Duzavide"
  std::wstring per_user;      // program_data + "\Duzavide-<SID>"
  // program_data + "\Duzavide-<SID>-logs": the user's logs, beside the data
  // folders rather than inside one, so that opening them never changes a data
  // folder's list.
  std::wstring logs;
  std::string refusal;  // why there is no place, e.g. "it is on a network share"
};

// The program-data folder from its record: "%SystemDrive%" (any case) at the
// start is the Windows folder's drive, no other variable is accepted; without a
// record it is the Windows folder's drive plus "\ProgramData". The result must
// be a drive path ("X:\..."), not a share. Then the volume must be local and
// fixed.
DataFolderPlace DecideDataFolderPlace(const DataFolderPlaceFacts& facts);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_DATA_FOLDER_PLACE_H_
