// Allocations that the system's font configuration keeps for the life of the process are not
// leaks of ours; LeakSanitizer reads this list when a test program ends.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
