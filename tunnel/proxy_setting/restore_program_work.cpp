#include "tunnel/proxy_setting/restore_program_work.h"

#include <windows.h>

#include <memory>

#include "base/signed_in_user.h"
#include "base/system_error_text.h"
#include "base/win_handles.h"
#include "tunnel/proxy_setting/proxy_journal.h"

namespace duzavide {
namespace {

constexpr char kNotRun[] = "the restore program could not be run as the person signed in: ";

// A handle that lives in another process (the shell): closed there.
class RemoteHandle {
 public:
  RemoteHandle(HANDLE process, HANDLE value) : process_(process), value_(value) {}
  ~RemoteHandle() { Close(); }
  void Close() {
    if (value_ != nullptr) {
      ::DuplicateHandle(process_, value_, nullptr, nullptr, 0, FALSE, DUPLICATE_CLOSE_SOURCE);
    }
    value_ = nullptr;
  }
  RemoteHandle(const RemoteHandle&) = delete;
  RemoteHandle& operator=(const RemoteHandle&) = delete;

 private:
  HANDLE process_;
  HANDLE value_;
};

struct AttributeListDeleter {
  void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const {
    ::DeleteProcThreadAttributeList(list);
    delete[] reinterpret_cast<char*>(list);
  }
};
using AttributeList = std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, AttributeListDeleter>;

// The shell as the parent, and `*output` (a handle of the shell's) the only
// handle the child inherits from it.
AttributeList ChildAttributes(HANDLE* shell, HANDLE* output) {
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
  auto* memory = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(new char[size]);
  if (!::InitializeProcThreadAttributeList(memory, 2, 0, &size)) {
    delete[] reinterpret_cast<char*>(memory);
    return AttributeList();
  }
  AttributeList list(memory);
  if (!::UpdateProcThreadAttribute(list.get(), 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, shell,
                                   sizeof(*shell), nullptr, nullptr) ||
      !::UpdateProcThreadAttribute(list.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, output,
                                   sizeof(*output), nullptr, nullptr)) {
    list.reset();
  }
  return list;
}

// What the pipe holds now, without waiting for more.
std::string DrainPipe(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD available = 0;
  while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    DWORD read = 0;
    if (!::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) || read == 0) break;
    text.append(buffer, read);
  }
  return text;
}

void AppendLines(const std::string& text, std::vector<std::string>* lines) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines->push_back(line);
    at = end + 1;
  }
}

}  // namespace

bool RestoreProgramWork::Run(ProxyStep step, std::vector<std::string>* lines,
                             std::string* failure) {
  std::string why;
  bool done = false;
  DWORD exit_code = 0;
  do {
    UniqueHandle shell = OpenShellProcess(PROCESS_CREATE_PROCESS | PROCESS_DUP_HANDLE, &why);
    if (!shell) break;
    UniqueHandle read_end;
    UniqueHandle write_end;
    HANDLE child_output = nullptr;  // the write end's copy in the shell
    if (!::CreatePipe(read_end.Receive(), write_end.Receive(), nullptr, 64 * 1024) ||
        !::DuplicateHandle(::GetCurrentProcess(), write_end.Get(), shell.Get(), &child_output, 0,
                           TRUE, DUPLICATE_SAME_ACCESS)) {
      why = "its output pipe could not be made: " + LastSystemErrorText();
      break;
    }
    RemoteHandle child_output_owner(shell.Get(), child_output);
    // Only the child may hold a write end, or the pipe would never report its end.
    write_end.Reset();
    HANDLE parent = shell.Get();
    const AttributeList attributes = ChildAttributes(&parent, &child_output);
    if (!attributes) {
      why = "its start attributes could not be set: " + LastSystemErrorText();
      break;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = child_output;
    startup.StartupInfo.hStdError = child_output;
    startup.lpAttributeList = attributes.get();
    std::wstring command = ProxyRestoreCommand() + L" " + ProxyStepVerb(step);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE,
                          EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup.StartupInfo, &info)) {
      why = LastSystemErrorText();
      break;
    }
    child_output_owner.Close();
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    const bool ended = ::WaitForSingleObject(process.Get(), kStepWaitMs) == WAIT_OBJECT_0;
    AppendLines(DrainPipe(read_end.Get()), lines);
    if (!ended) {
      why = "it did not end within " + std::to_string(kStepWaitMs / 1000) + " s";
      break;
    }
    ::GetExitCodeProcess(process.Get(), &exit_code);
    done = exit_code == 0;
    why.clear();
  } while (false);

  if (!why.empty()) {
    *failure = kNotRun + why;
    if (step != ProxyStep::kSwitchToDirect) lines->push_back("[proxy] " + *failure);
    return false;
  }
  // A switch that failed says why in its last line.
  if (!done && step == ProxyStep::kSwitchToDirect) {
    *failure = lines->empty()
                   ? "the restore program ended with exit code " + std::to_string(exit_code)
                   : lines->back();
    if (!lines->empty()) lines->pop_back();
  }
  return done;
}

}  // namespace duzavide
