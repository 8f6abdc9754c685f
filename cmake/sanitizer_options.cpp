// Run-time options of the AddressSanitizer build, read by the sanitizers at start-up (an
// ASAN_OPTIONS, UBSAN_OPTIONS or LSAN_OPTIONS in the environment still adds to them): the first
// report ends the program with a failing exit code, leaks are looked for at exit, and leaks inside
// system libraries are suppressed.

extern "C" {

__attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=0";
}

__attribute__((visibility("default"), used)) const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}

__attribute__((visibility("default"), used)) const char* __lsan_default_options() {
    return "suppressions=" ORB_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

}
