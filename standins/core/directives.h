// Optional test behaviour of the stand-in core, read from "standin-core.txt" in
// its working directory: one directive per line, run in file order after the
// start line (see README.md for the list).
#ifndef STANDINS_CORE_DIRECTIVES_H_
#define STANDINS_CORE_DIRECTIVES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace duzavide::standin {

struct Directive {
  enum class Kind { kExit, kExitAfter, kExitAtStart, kPrint, kPrintBytes, kFlood, kSpawnChild };
  Kind kind = Kind::kExit;
  int exit_code = 0;
  unsigned long delay_ms = 0;
  unsigned long long flood_bytes = 0;  // kFlood
  std::string bytes;  // kPrint: the unescaped text; kPrintBytes: the repeated bytes
};

// Parses the file text. Blank lines and lines starting with '#' are skipped.
// On a malformed line returns false with a one-line reason in `error`.
bool ParseDirectives(const std::string& text, std::vector<Directive>* directives,
                     std::string* error);

// Resolves C escapes: \n \r \t \\ \" \' \0 (octal up to three digits) and \xHH.
std::string UnescapeC(const std::string& text);

// The exit code of an exit-at-start directive, if the list has one.
bool FindExitAtStart(const std::vector<Directive>& directives, int* exit_code);

// Runs the directives in order. kExit ends the process at once; kExitAfter ends it
// from a timer thread; kFlood writes its bytes of text as fast as standard output
// takes them; kSpawnChild starts `self_path` in child mode with the standard
// handles inherited, living `child_lifetime_ms`. kExitAtStart is handled before
// any of this (FindExitAtStart).
void RunDirectives(const std::vector<Directive>& directives, const std::wstring& self_path,
                   unsigned long child_lifetime_ms);

}  // namespace duzavide::standin

#endif  // STANDINS_CORE_DIRECTIVES_H_
