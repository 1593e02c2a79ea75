// Sanitizer settings for the fuzz targets, linked into each of them.
//
// One input allocates some kilobytes, so a quarantine of 1 MB still holds every
// block freed while that input runs, which is what catches a use after free. A
// larger quarantine keeps handing out fresh memory: with the default 256 MB the
// page faults cost more than the code under test, and even 16 MB leaves every
// allocation a cache miss. Allocation stacks keep the frames that name our own
// code.

extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=1:malloc_context_size=8";
}
