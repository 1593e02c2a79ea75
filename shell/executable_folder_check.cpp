#include "shell/executable_folder_check.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/executable_path.h"
#include "base/line_sink.h"
#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"
#include "tunnel/core/core_executable.h"
#include "tunnel/core/executable_folder_trust.h"
#include "tunnel/data_folder/folder_operations.h"
#include "tunnel/data_folder/plain_file.h"
#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

// Beside the executable: what the host loads (the engine), starts (the core,
// with what it loads: kCoreCompanionFiles) or has started at the next sign-in
// (the restore program). In "data": what the engine loads and reads.
constexpr const wchar_t* kFolderFiles[] = {kEngineLibrary, L"DuzavideProxyRestore.exe", L"xray.exe",
                                           L"data\\app.so", L"data\\icudtl.dat"};
constexpr const wchar_t* kSubFolders[] = {L"data", L"data\\flutter_assets"};

constexpr DWORD kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;

// The event the refusal is written as in the Application log.
constexpr DWORD kStartRefusedEvent = 1;

struct EventSourceTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { ::DeregisterEventSource(value); }
};

// Opens `path` as itself into `held` and reads its facts into `security` and
// `links`; "" when done, or when an optional object is missing (then `held`
// stays empty). `shown` names it in the reason.
std::string ReadObject(const std::wstring& path, const std::string& shown, bool is_folder,
                       bool optional, UniqueFileHandle* held, SecurityFacts* security,
                       unsigned long* links) {
  held->Reset(::CreateFileW(path.c_str(), is_folder ? kFolderAccess : GENERIC_READ,
                            is_folder ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!*held) {
    const DWORD error = ::GetLastError();
    if (optional && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
      return std::string();
    }
    return shown + " could not be opened: " + SystemErrorText(error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(held->Get(), &info)) {
    return shown + " could not be examined: " + LastSystemErrorText();
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return shown + " is a link";
  if (((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != is_folder) {
    return shown + (is_folder ? " is not a folder" : " is a folder");
  }
  *links = info.nNumberOfLinks;
  *security = ReadSecurityFacts(ReadOwnerAndList(held->Get()).Get());
  return std::string();
}

// The facts of the folder (its handle goes to `folder`) and of everything
// checked in it (their handles go to `check->held`).
void ReadFolderObjects(ExecutableFolderCheck* check, UniqueFileHandle* folder,
                       ExecutableFolderFacts* facts) {
  unsigned long links = 1;
  std::string& problem = facts->open_problem;
  // With the separator, so that a drive's root is that root, not the drive's
  // current folder.
  problem =
      ReadObject(check->folder + L"\\", "the folder", true, false, folder, &facts->folder, &links);
  std::vector<std::wstring> files(std::begin(kFolderFiles), std::end(kFolderFiles));
  files.insert(files.end(), std::begin(kCoreCompanionFiles), std::end(kCoreCompanionFiles));
  for (size_t i = 0; i < files.size() && problem.empty(); ++i) {
    UniqueFileHandle file;
    CoreFile observed{WideToUtf8(files[i]), {}, 1};
    problem = ReadObject(check->folder + L"\\" + files[i], observed.name, false,
                         files[i] != kEngineLibrary, &file, &observed.security, &observed.links);
    if (!file) continue;
    facts->files.push_back(std::move(observed));
    check->held.push_back(std::move(file));
  }
  for (size_t i = 0; i < std::size(kSubFolders) && problem.empty(); ++i) {
    UniqueFileHandle sub_folder;
    ExecutableFolderFacts::SubFolder observed{WideToUtf8(kSubFolders[i]), {}};
    problem = ReadObject(check->folder + L"\\" + kSubFolders[i], observed.name, true, true,
                         &sub_folder, &observed.security, &links);
    if (!sub_folder) continue;
    facts->sub_folders.push_back(std::move(observed));
    check->held.push_back(std::move(sub_folder));
  }
}

}  // namespace

ExecutableFolderCheck CheckExecutableFolder() {
  ExecutableFolderCheck check;
  ExecutableFolderFacts facts;
  // A launch by a short name ("PROGRA~1") is the same file; only a link is not.
  const std::wstring module = ExecutablePath();
  std::vector<wchar_t> long_path(32768);
  const DWORD length =
      ::GetLongPathNameW(module.c_str(), long_path.data(), static_cast<DWORD>(long_path.size()));
  facts.launch_path =
      length > 0 && length < long_path.size() ? std::wstring(long_path.data(), length) : module;
  check.folder = ParentDirectory(facts.launch_path);
  // Opened by the launch path, links followed: the file the system started.
  UniqueFileHandle image(::CreateFileW(facts.launch_path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (image) facts.real_path = FinalPathOf(image.Get());
  if (!facts.real_path.empty()) {
    BY_HANDLE_FILE_INFORMATION info{};
    ::GetFileInformationByHandle(image.Get(), &info);
    facts.files.push_back(CoreFile{WideToUtf8(facts.launch_path.substr(check.folder.size() + 1)),
                                   ReadSecurityFacts(ReadOwnerAndList(image.Get()).Get()),
                                   info.nNumberOfLinks});
    check.held.push_back(std::move(image));
    facts.volume = VolumeKindOf(facts.launch_path);
    UniqueFileHandle folder;
    ReadFolderObjects(&check, &folder, &facts);
    if (facts.open_problem.empty() && !ExecutableFolderObjectsProblem(facts).empty()) {
      const UniqueSecurityDescriptor security = ProtectedFolderSecurity();
      facts.volume_keeps_lists =
          !security || VolumeKeepsLists(folder.Get(), check.folder, security.Get());
    }
    check.held.push_back(std::move(folder));
  }
  const ExecutableFolderVerdict verdict = JudgeExecutableFolder(facts);
  check.refusal = verdict.refusal;
  check.note = verdict.note;
  return check;
}

void ReportStartRefused(const ExecutableFolderCheck& check) {
  const std::string line = "Duzavide Connect does not start from " + WideToUtf8(check.folder) +
                           ": " + check.refusal +
                           ". Install it, or unpack the portable zip, under a folder only "
                           "administrators can change, such as Program Files.";
  // Only the parent's console: opening one of our own would load the engine.
  ::AttachConsole(ATTACH_PARENT_PROCESS);
  EmitLine(line);
  std::wstring text(line.size(), L'\0');
  text.resize(::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                    text.data(), static_cast<int>(text.size())));
  UniqueAny<EventSourceTraits> source(::RegisterEventSourceW(nullptr, L"Duzavide Connect"));
  if (!source) return;
  const wchar_t* strings[] = {text.c_str()};
  ::ReportEventW(source.Get(), EVENTLOG_ERROR_TYPE, 0, kStartRefusedEvent, nullptr, 1, 0, strings,
                 nullptr);
}

}  // namespace duzavide
