#include "tunnel/core/core_process.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <vector>

#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"
#include "tunnel/core/core_environment.h"
#include "tunnel/core/core_executable.h"

namespace duzavide {
namespace {

// A job whose last handle, when closed, ends every process inside. Not
// inheritable, and without breakaway rights, so no child of the core escapes it.
UniqueHandle CreateKillOnCloseJob() {
  UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
    job.Reset();
  }
  return job;
}

// The system's places for the core's environment, read from the system, never
// from the host's own environment. TEMP and TMP go to the folder of the
// configuration: the verified data folder.
CoreEnvironmentPlaces ReadCorePlaces(const std::wstring& core_folder,
                                     const std::wstring& config_path) {
  CoreEnvironmentPlaces places;
  wchar_t buffer[MAX_PATH] = {};
  UINT length = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) places.windows_folder.assign(buffer, length);
  length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) places.system_folder.assign(buffer, length);
  wchar_t common[MAX_PATH] = {};
  if (SUCCEEDED(
          ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) {
    places.program_data = common;
  }
  places.temp_folder = ParentDirectory(config_path);
  places.asset_folder = core_folder;
  return places;
}

// Attribute list naming the one handle the child may inherit. Empty when the
// system does not offer the attribute.
class InheritedHandleList {
 public:
  explicit InheritedHandleList(HANDLE handle) : handle_(handle) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_,
                                     sizeof(handle_), nullptr, nullptr)) {
      ::DeleteProcThreadAttributeList(list);
      return;
    }
    list_ = list;
  }
  ~InheritedHandleList() {
    if (list_ != nullptr) ::DeleteProcThreadAttributeList(list_);
  }
  InheritedHandleList(const InheritedHandleList&) = delete;
  InheritedHandleList& operator=(const InheritedHandleList&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  HANDLE handle_;  // must stay at this address while the list is used
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

bool CreateSuspended(const std::wstring& core_path, const std::wstring& config_path,
                     HANDLE output_write_end, LPPROC_THREAD_ATTRIBUTE_LIST attributes,
                     PROCESS_INFORMATION* info) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = attributes != nullptr ? sizeof(STARTUPINFOEXW) : sizeof(STARTUPINFOW);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = output_write_end;
  startup.StartupInfo.hStdError = output_write_end;
  startup.lpAttributeList = attributes;
  DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
  if (attributes != nullptr) flags |= EXTENDED_STARTUPINFO_PRESENT;

  std::wstring command_line = CoreCommandLine(core_path, config_path);
  std::wstring directory = ParentDirectory(core_path);
  if (!directory.empty() && directory.back() == L':') directory += L'\\';
  wchar_t* host_environment = ::GetEnvironmentStringsW();
  std::wstring environment =
      CoreEnvironmentBlock(host_environment, ReadCorePlaces(directory, config_path));
  if (host_environment != nullptr) ::FreeEnvironmentStringsW(host_environment);
  return ::CreateProcessW(core_path.c_str(), command_line.data(), nullptr, nullptr, TRUE, flags,
                          environment.data(), directory.empty() ? nullptr : directory.c_str(),
                          &startup.StartupInfo, info) != FALSE;
}

}  // namespace

bool CreateCoreOutputPipe(UniqueHandle* read_end, UniqueHandle* write_end, std::string* failure) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof(security);
  security.bInheritHandle = TRUE;
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &security, 0)) {
    if (failure != nullptr) *failure = "the pipe could not be created: " + LastSystemErrorText();
    return false;
  }
  UniqueHandle owned_read(read);
  UniqueHandle owned_write(write);
  if (!::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0)) {
    if (failure != nullptr) {
      *failure = "the pipe's own end could not be kept from the core: " + LastSystemErrorText();
    }
    return false;
  }
  *read_end = std::move(owned_read);
  *write_end = std::move(owned_write);
  return true;
}

bool LaunchCoreProcess(CoreExecutable* executable, const std::wstring& config_path,
                       HANDLE output_write_end, CoreProcess* core, std::string* failure) {
  const std::wstring& core_path = executable->path;
  PROCESS_INFORMATION info{};
  bool created = false;
  {
    InheritedHandleList handles(output_write_end);
    if (handles.get() != nullptr) {
      created = CreateSuspended(core_path, config_path, output_write_end, handles.get(), &info);
    }
  }
  // Without a usable handle list the core inherits every inheritable handle; the
  // host's own pipe end is not among them.
  if (!created) created = CreateSuspended(core_path, config_path, output_write_end, nullptr, &info);
  const std::string creation_error = created ? std::string() : LastSystemErrorText();
  // The image is mapped now (or never will be): it can no longer be swapped.
  executable->held.Reset();
  executable->held_companions.clear();
  if (!created) {
    if (failure != nullptr) {
      *failure = WideToUtf8(core_path) + " could not be started: " + creation_error;
    }
    return false;
  }

  core->process.Reset(info.hProcess);
  core->thread.Reset(info.hThread);
  core->process_id = info.dwProcessId;
  core->thread_id = info.dwThreadId;
  core->job = CreateKillOnCloseJob();
  if (core->job && !::AssignProcessToJobObject(core->job.Get(), info.hProcess)) core->job.Reset();
  if (::ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
    if (failure != nullptr) {
      *failure = WideToUtf8(core_path) + " could not be resumed: " + LastSystemErrorText();
    }
    // A core that never runs would still look alive to the survival check.
    ::TerminateProcess(info.hProcess, 0);
    *core = CoreProcess();
    return false;
  }
  return true;
}

}  // namespace duzavide
