// Sanitizer settings for the fuzz targets, linked into each of them.
//
// One input allocates some kilobytes, so a small quarantine still holds every
// block freed while that input runs, which is what catches a use after free.
// The default 256 MB quarantine keeps handing out fresh pages for minutes, and
// the page faults cost more than the code under test. Allocation stacks keep
// the frames that name our own code.

extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16:malloc_context_size=8";
}
