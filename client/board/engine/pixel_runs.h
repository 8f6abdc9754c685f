#pragma once
// The one writer of a run of pixels in one colour, shared by the span and line drawing.

#include <QImage>
#include <cstdint>
#include <cstring>

namespace orb::board {

// n >= 1 pixels in one colour: eight a step in two 16-byte stores, the last eight (or four) ending
// exactly at the run's end, overlapping the ones before, so there is no tail loop.
inline void FillRun(QRgb* p, int n, QRgb c) {
    typedef uint32_t Quad __attribute__((vector_size(16)));
    const Quad q = {c, c, c, c};
    if (n < 4) {
        // One to three pixels without a loop: first, middle and last.
        p[0] = p[n / 2] = p[n - 1] = c;
        return;
    }
    if (n <= 8) {
        std::memcpy(p, &q, sizeof q);
        std::memcpy(p + n - 4, &q, sizeof q);
        return;
    }
    for (int i = 0; i < n - 8; i += 8) {
        std::memcpy(p + i, &q, sizeof q);
        std::memcpy(p + i + 4, &q, sizeof q);
    }
    std::memcpy(p + n - 8, &q, sizeof q);
    std::memcpy(p + n - 4, &q, sizeof q);
}

}  // namespace orb::board
