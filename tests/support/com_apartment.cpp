// Linked into the test programs that drive the engine from their main thread. The
// host's entry makes that thread a single-threaded COM apartment before it creates
// the engine, and the engine refuses calls on a thread without one.
#include <objbase.h>

namespace {

// Runs on the main thread while the program's globals are set up, before any test.
const bool kApartmentEntered = [] {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  return true;
}();

}  // namespace
