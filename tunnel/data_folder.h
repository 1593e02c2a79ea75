// The per-user data folder: where the proxy core's configuration is written and
// where the core executable is looked for first.
#ifndef TUNNEL_DATA_FOLDER_H_
#define TUNNEL_DATA_FOLDER_H_

#include <string>

namespace duzavide {

// The local application data folder plus "\Duzavide", or "C:\ProgramData\Duzavide"
// when the system cannot name that folder. Nothing is created.
std::wstring DataFolder();

// DataFolder() plus "\config.json".
std::wstring ConfigFilePath();

// Creates `folder` with any missing parents; an existing folder is fine.
bool CreateDataFolder(const std::wstring& folder);

// Writes `text` (UTF-8) to `path` in text mode, truncating: every line feed is
// stored as carriage return plus line feed. Others may read and write the file
// meanwhile. The file is closed on return. False when it could not be written.
bool WriteConfigFile(const std::wstring& path, const std::string& text);

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_H_
