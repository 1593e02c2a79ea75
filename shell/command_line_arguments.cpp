#include "shell/command_line_arguments.h"

#include <windows.h>
// Needs the declarations of windows.h first.
#include <shellapi.h>

#include "base/wide_to_utf8.h"
#include "base/win_handles.h"

namespace duzavide {

std::vector<std::string> SplitCommandLineArguments(const wchar_t* command_line) {
  std::vector<std::string> arguments;
  int count = 0;
  UniqueLocalMemory<wchar_t**> argv(::CommandLineToArgvW(command_line, &count));
  if (!argv) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(argv.Get()[i]));
  return arguments;
}

std::vector<std::string> CollectCommandLineArguments() {
  return SplitCommandLineArguments(::GetCommandLineW());
}

}  // namespace duzavide
