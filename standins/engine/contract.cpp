#include "standins/engine/contract.h"

#include <windows.h>

#include <cstdio>

namespace duzavide::standin {

void ContractViolation(const std::string& what) {
  const std::string line = "standin-engine: contract violation: " + what + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  // Terminated rather than exited: the caller may hold locks or be inside a window
  // procedure, and nothing of the broken state may run any further.
  ::TerminateProcess(::GetCurrentProcess(), kContractViolationExitCode);
  // TerminateProcess on the own process does not return; this keeps the compiler
  // convinced.
  ::ExitProcess(kContractViolationExitCode);
}

}  // namespace duzavide::standin
