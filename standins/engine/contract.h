// How the stand-in engine refuses a call that breaks the engine's contract.
//
// The real engine library crashes, or corrupts itself, on such calls (a null or
// dead handle, a call on an object being destroyed, a messenger used from a
// foreign thread without its lock). The stand-in instead ends the process at once
// with one diagnostic line, so that a host fault of that kind fails a test instead
// of passing quietly. Any thread.
#ifndef STANDINS_ENGINE_CONTRACT_H_
#define STANDINS_ENGINE_CONTRACT_H_

#include <string>

namespace duzavide::standin {

// The exit code of a process that broke the contract: not 0, 1 or a crash code, so
// no test can mistake it for a normal end.
constexpr unsigned kContractViolationExitCode = 86;

// Writes "standin-engine: contract violation: <what>" and a line end to standard
// error, then ends the process with kContractViolationExitCode. Never returns.
[[noreturn]] void ContractViolation(const std::string& what);

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_CONTRACT_H_
