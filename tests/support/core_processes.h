// How many proxy cores run on the machine: for the tests and the benchmark
// programs that check that every way out of the application leaves none.
#ifndef TESTS_SUPPORT_CORE_PROCESSES_H_
#define TESTS_SUPPORT_CORE_PROCESSES_H_

namespace duzavide::tunnel_test {

// Number of running processes named xray.exe; -1 when they cannot be listed.
int CountCoreProcesses();

}  // namespace duzavide::tunnel_test

#endif  // TESTS_SUPPORT_CORE_PROCESSES_H_
