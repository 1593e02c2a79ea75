// The process's command-line arguments as UTF-8, for the Dart entrypoint.
#ifndef SHELL_COMMAND_LINE_ARGUMENTS_H_
#define SHELL_COMMAND_LINE_ARGUMENTS_H_

#include <string>
#include <vector>

namespace duzavide {

// Splits `command_line` by the system's rules (quotes group, the quotes themselves
// are dropped), skips the program path in front, and converts each argument with
// WideToUtf8. An argument that is not valid UTF-16 keeps its place as an empty
// string. Returns an empty list when the line cannot be split.
std::vector<std::string> SplitCommandLineArguments(const wchar_t* command_line);

// SplitCommandLineArguments over this process's own command line.
std::vector<std::string> CollectCommandLineArguments();

}  // namespace duzavide

#endif  // SHELL_COMMAND_LINE_ARGUMENTS_H_
