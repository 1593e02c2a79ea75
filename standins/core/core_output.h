// Serialised writes to the stand-in core's standard output and standard error.
//
// Each call is one WriteFile on the standard handle, so a test that reads the pipe
// sees every message as one piece written at once. Callable from any thread.
#ifndef STANDINS_CORE_CORE_OUTPUT_H_
#define STANDINS_CORE_CORE_OUTPUT_H_

#include <string>

namespace duzavide::standin {

void WriteStdout(const std::string& bytes);
void WriteStderr(const std::string& bytes);

}  // namespace duzavide::standin

#endif  // STANDINS_CORE_CORE_OUTPUT_H_
