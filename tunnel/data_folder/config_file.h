// Writing the proxy core's configuration into the verified data folder.
//
// The elevated core is started on "config.json", so what it reads must be what the
// host wrote: the file is written whole under a new name and then renamed over
// "config.json" in one step. Nothing is ever written through an existing name, so
// a link or second name planted as "config.json" is replaced, never written
// through; and "config.json" is either the old file or the whole new one.
// Any thread, one writer at a time per folder.
#ifndef TUNNEL_DATA_FOLDER_CONFIG_FILE_H_
#define TUNNEL_DATA_FOLDER_CONFIG_FILE_H_

#include <string>

namespace duzavide {

// Writes `text` (UTF-8) as `folder`\config.json, every line feed stored as carriage
// return plus line feed: into a new file "config-<random>.tmp" (created new,
// opened as itself), flushed to the disk, then moved over config.json with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) (which, unlike
// ReplaceFileW, keeps the new file's own owner and access list). On success
// `path` gets the file's path. False when any step failed: `failure` says which
// and why, and no temporary file is left.
bool WriteConfigFile(const std::wstring& folder, const std::string& text, std::wstring* path,
                     std::string* failure);

// Deletes every "config-*.tmp" left in `folder` by a host that ended between
// creating one and moving it into place.
void RemoveLeftoverConfigFiles(const std::wstring& folder);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_CONFIG_FILE_H_
