// The rules for files the elevated host writes or runs from its data folder.
//
// A name in a folder may be a link: a symbolic link or junction (a reparse
// point) or a second name of a file elsewhere (a hard link). Writing through one
// would change whatever it points to with the host's rights, and a hard link to a
// trusted file carries that file's owner and access list. So every such file is
// opened as itself and accepted only when it is a plain file with one name.
//
// Any thread.
#ifndef TUNNEL_DATA_FOLDER_PLAIN_FILE_H_
#define TUNNEL_DATA_FOLDER_PLAIN_FILE_H_

#include <windows.h>

#include <string>

#include "base/win_handles.h"

namespace duzavide {

// "" when the open `file` is a plain file (not a folder, not a reparse point,
// exactly one link); otherwise why, e.g. "it has 2 links".
std::string PlainFileProblem(HANDLE file);

// CreateFileW of `path` with FILE_FLAG_OPEN_REPARSE_POINT (a link is opened as
// itself, never followed), kept only when PlainFileProblem finds nothing. Empty on
// failure, with `failure` naming the path and the reason. The check follows the
// open, so `disposition` must not truncate (no CREATE_ALWAYS, TRUNCATE_EXISTING).
// `security`, when given, is the descriptor a file created by the call gets
// (with its owner: the token's default owner may be a policy's choice).
UniqueFileHandle OpenPlainFile(const std::wstring& path, DWORD access, DWORD share,
                               DWORD disposition, std::string* failure,
                               PSECURITY_DESCRIPTOR security = nullptr);

// The path the open `handle` really has, links resolved, without the "\\?\"
// prefix; "" when it cannot be read.
std::wstring FinalPathOf(HANDLE handle);

// Case-insensitive comparison, as the file system compares names.
bool SamePath(const std::wstring& a, const std::wstring& b);

// 16 random lowercase hex digits, for the name of a file that must be new.
std::wstring RandomHexName();

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_PLAIN_FILE_H_
