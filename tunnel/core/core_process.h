// Creating the proxy core process with its output captured.
//
// The host keeps the read end of one anonymous pipe; the write end becomes the
// core's standard output and standard error. Only that write end is handed to the
// core (where the system supports a handle list at process creation), so the core
// does not inherit the host's end of the pipe, the bridge's sockets or anything
// else. The core runs inside a job object that ends it (and its children) when the
// job handle is closed, so a host that dies leaves no orphan core behind.
#ifndef TUNNEL_CORE_CORE_PROCESS_H_
#define TUNNEL_CORE_CORE_PROCESS_H_

#include <windows.h>

#include <string>

#include "base/win_handles.h"
#include "tunnel/core/core_executable.h"

namespace duzavide {

// Creates the output pipe with the default buffer size. The write end is
// inheritable, the read end is not. False leaves both handles empty, and
// `failure` (if given) says why.
bool CreateCoreOutputPipe(UniqueHandle* read_end, UniqueHandle* write_end,
                          std::string* failure = nullptr);

struct CoreProcess {
  UniqueHandle process;
  UniqueHandle thread;
  DWORD process_id = 0;
  DWORD thread_id = 0;
  // Kill-on-close job holding the core; empty when the system refused the
  // assignment (the host already sits in a job that forbids it).
  UniqueHandle job;
};

// Starts `executable->path` with CoreCommandLine(path, config_path), no console
// window, the environment of CoreEnvironmentBlock (an allow-list: the system's
// places, TEMP and TMP in the configuration's folder, its data files from its
// own directory; nothing else the user could set), that directory as working
// directory and `output_write_end` as standard output and standard error
// (standard input none).
// The process is created suspended, put into the job and then resumed. The files
// held in `executable` stay open until process creation has returned, and are
// closed then. False when the process could not be created; `core` is then left
// empty, and `failure` (if given) says why.
bool LaunchCoreProcess(CoreExecutable* executable, const std::wstring& config_path,
                       HANDLE output_write_end, CoreProcess* core, std::string* failure = nullptr);

}  // namespace duzavide

#endif  // TUNNEL_CORE_CORE_PROCESS_H_
