#include "loop/event_loop.h"

#include <cstdio>
#include <exception>

namespace orb {

void ReportLoopFailure(const char* what, uint32_t msg) {
    try {
        throw;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "event loop: %s 0x%X failed: %s\n", what, msg, e.what());
    } catch (...) {
        std::fprintf(stderr, "event loop: %s 0x%X failed\n", what, msg);
    }
}

}  // namespace orb
