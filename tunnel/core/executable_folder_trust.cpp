#include "tunnel/core/executable_folder_trust.h"

#include <string>

namespace duzavide {
namespace {

// `path` without the prefix the system puts before a real path: "\\?\C:\..."
// becomes "C:\...", "\\?\UNC\server\..." becomes "\\server\...".
std::wstring WithoutLongPathPrefix(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

wchar_t FoldCase(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

// Names compared as the file system does for the letters of every install path
// seen so far; two spellings that differ in the case of other letters count as
// different, which refuses a start rather than allowing one.
bool SameText(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

const char* VolumeProblem(VolumeKind volume) {
  switch (volume) {
    case VolumeKind::kLocalFixed:
      return nullptr;
    case VolumeKind::kNetwork:
      return "it is on a network share";
    case VolumeKind::kRemovable:
      return "it is on a removable drive";
    case VolumeKind::kOther:
      break;
  }
  return "it is on a volume of an unknown kind";
}

}  // namespace

std::string ExecutableFolderObjectsProblem(const ExecutableFolderFacts& facts) {
  std::string problem = CoreTrustProblem(facts.files, facts.folder);
  for (const ExecutableFolderFacts::SubFolder& sub_folder : facts.sub_folders) {
    if (!problem.empty()) break;
    problem = ObjectTrustProblem(sub_folder.security, "the folder " + sub_folder.name);
  }
  return problem;
}

ExecutableFolderVerdict JudgeExecutableFolder(const ExecutableFolderFacts& facts) {
  if (facts.launch_path.empty() || facts.real_path.empty()) {
    return {"the executable's real path could not be read", ""};
  }
  if (!SameText(WithoutLongPathPrefix(facts.launch_path), WithoutLongPathPrefix(facts.real_path))) {
    return {"it was started through a link: the file's real path is another", ""};
  }
  if (const char* problem = VolumeProblem(facts.volume)) return {problem, ""};
  if (!facts.open_problem.empty()) return {facts.open_problem, ""};
  const std::string problem = ExecutableFolderObjectsProblem(facts);
  if (problem.empty()) return {};
  if (!facts.volume_keeps_lists) {
    return {"",
            "the executable's folder cannot be protected -- its volume keeps no access lists (" +
                problem + ")"};
  }
  return {problem, ""};
}

}  // namespace duzavide
