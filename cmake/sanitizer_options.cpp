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

// The system's libraries stay loaded to the end of the run in this build. A library unloaded before
// exit takes its symbols with it: LeakSanitizer could then neither name the code behind an
// allocation nor see what the library's own globals still point to (Mesa's GL driver, unloaded when
// Qt drops the shared GL context at exit, leaves such a block, reported with an "unknown module"
// that no suppression can name). Kept loaded, a leak names its library and its function. Our own
// libraries are unloaded as usual: their tests load them again.
#include <dlfcn.h>
#include <link.h>

#include <cstring>

extern "C" __attribute__((visibility("default"), used)) int dlclose(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name &&
        (std::strncmp(map->l_name, "/usr/", 5) == 0 || std::strncmp(map->l_name, "/lib", 4) == 0))
        return 0;
    using Close = int (*)(void*);
    static const Close next = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "dlclose"));
    return next ? next(handle) : -1;
}
