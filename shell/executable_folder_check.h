// The check of the folder this executable was started from, made before anything
// is loaded or started from it (the rule: tunnel/core/executable_folder_trust.h).
#ifndef SHELL_EXECUTABLE_FOLDER_CHECK_H_
#define SHELL_EXECUTABLE_FOLDER_CHECK_H_

#include <string>
#include <vector>

#include "base/win_handles.h"

namespace duzavide {

// The engine library, loaded from the checked folder by its full path.
inline constexpr wchar_t kEngineLibrary[] = L"flutter_windows.dll";

struct ExecutableFolderCheck {
  std::wstring folder;  // the executable's folder, as it was started
  std::string refusal;  // why the host must not run; "" when it may
  std::string note;     // when it runs unprotected: one line for the host log
  // What was checked, held open until the process ends so that it stays what was
  // checked: the files with read sharing only (nobody may write, rename or delete
  // them, while the loader and the core's start can still read them), the folders
  // without delete sharing (nobody may rename them).
  std::vector<UniqueFileHandle> held;
};

// Reads the facts and judges them. Main thread, first thing in the process: it
// loads nothing but the system's own libraries.
ExecutableFolderCheck CheckExecutableFolder();

// Says why the host does not start: one line on standard error (the parent's
// console, when there is one) and one error event in the system's Application
// event log, source "Duzavide Connect", which only administrators can clear.
void ReportStartRefused(const ExecutableFolderCheck& check);

}  // namespace duzavide

#endif  // SHELL_EXECUTABLE_FOLDER_CHECK_H_
