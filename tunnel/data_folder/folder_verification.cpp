#include "tunnel/data_folder/folder_verification.h"

#include <windows.h>

#include <utility>

#include "base/wide_to_utf8.h"

namespace duzavide {
namespace {

bool Usable(FolderAction action) {
  return action == FolderAction::kUse || action == FolderAction::kUseUnprotected;
}

VerifiedFolder Accept(const std::wstring& path, FolderAction action, const std::string& reason,
                      UniqueFileHandle held, std::vector<std::string> notes) {
  VerifiedFolder folder;
  folder.path = path;
  folder.held = std::move(held);
  folder.is_protected = action == FolderAction::kUse;
  folder.notes = std::move(notes);
  if (!folder.is_protected) {
    folder.unprotected_note = "the folder " + WideToUtf8(path) + " cannot be protected -- " +
                              reason + "; nothing that runs elevated is taken from it";
  }
  return folder;
}

VerifiedFolder Refuse(const std::wstring& path, const std::string& reason,
                      std::vector<std::string> notes) {
  VerifiedFolder folder;
  folder.notes = std::move(notes);
  folder.problem = WideToUtf8(path) + ": " + reason;
  return folder;
}

}  // namespace

VerifiedFolder VerifyFolder(FolderOperations& operations, const std::wstring& path,
                            const std::wstring& stamp) {
  std::vector<std::string> notes;
  std::string failure;
  UniqueFileHandle held;
  FolderDecision decision = DecideFolder(operations.Observe(path, &held));
  if (Usable(decision.action)) {
    return Accept(path, decision.action, decision.reason, std::move(held), std::move(notes));
  }
  if (decision.action == FolderAction::kRefuse) {
    return Refuse(path, decision.reason, std::move(notes));
  }
  // Our own handle would keep the folder from being renamed.
  held.Reset();
  if (decision.action == FolderAction::kMoveAside) {
    const std::wstring aside = path + L".untrusted-" + stamp;
    if (!operations.MoveAside(path, aside, &failure)) {
      return Refuse(path, decision.reason + ", and it could not be moved aside: " + failure,
                    std::move(notes));
    }
    notes.push_back("the folder " + WideToUtf8(path) + " was moved aside to " + WideToUtf8(aside) +
                    " -- " + decision.reason);
  }
  if (!operations.Create(path, &failure)) {
    return Refuse(path, "it could not be created: " + failure, std::move(notes));
  }
  // Looked at again by handle: what was created may already have been replaced.
  decision = DecideFolder(operations.Observe(path, &held));
  if (!Usable(decision.action)) {
    std::string reason = "the new folder fails the check: " +
                         (decision.reason.empty() ? std::string("it is gone") : decision.reason);
    // Left there, it would be moved aside at the next start, and its successor at
    // the one after.
    held.Reset();
    if (decision.action != FolderAction::kCreate && !operations.RemoveEmpty(path, &failure)) {
      reason += ", and it could not be removed: " + failure;
    }
    return Refuse(path, reason, std::move(notes));
  }
  return Accept(path, decision.action, decision.reason, std::move(held), std::move(notes));
}

VerifiedFolder VerifyFirstUsableFolder(FolderOperations& operations,
                                       const std::vector<std::wstring>& paths,
                                       const std::wstring& stamp) {
  std::vector<std::string> notes;
  std::vector<std::string> passed_over;
  std::string problems;
  for (const std::wstring& path : paths) {
    VerifiedFolder folder = VerifyFolder(operations, path, stamp);
    notes.insert(notes.end(), folder.notes.begin(), folder.notes.end());
    if (!folder.path.empty()) {
      for (const std::string& problem : passed_over) {
        notes.push_back("the folder " + problem + "; " + WideToUtf8(path) + " is used instead");
      }
      folder.notes = std::move(notes);
      return folder;
    }
    passed_over.push_back(folder.problem);
    problems += (problems.empty() ? "" : "; ") + folder.problem;
  }
  VerifiedFolder none;
  none.notes = std::move(notes);
  none.problem = problems.empty() ? "no folder to try" : problems;
  return none;
}

std::wstring UtcStamp() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  std::wstring stamp;
  const auto append = [&stamp](unsigned value, size_t digits) {
    const size_t end = stamp.size() + digits;
    stamp.append(digits, L'0');
    for (size_t at = end; value > 0 && at > end - digits; value /= 10) {
      stamp[--at] = static_cast<wchar_t>(L'0' + value % 10);
    }
  };
  append(now.wYear, 4);
  append(now.wMonth, 2);
  append(now.wDay, 2);
  stamp += L'T';
  append(now.wHour, 2);
  append(now.wMinute, 2);
  append(now.wSecond, 2);
  stamp += L'Z';
  return stamp;
}

}  // namespace duzavide
