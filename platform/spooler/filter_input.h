#pragma once
// The arguments every print filter of our driver is started with (job-id user title copies
// options [file]): the descriptor of its input, the named file or standard input.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace orb::rasterdriver {

// -1 after telling the scheduler's log why.
inline int OpenFilterInput(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return -1;
    }
    if (argc == 6) return 0;
    const int fd = open(argv[6], O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::fprintf(stderr, "ERROR: cannot open \"%s\": %s\n", argv[6], std::strerror(errno));
    return fd;
}

}  // namespace orb::rasterdriver
