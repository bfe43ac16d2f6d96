// Musical time: the pip, 1/64 of a beat, and the wrap that makes every pattern loop.
#pragma once

namespace kinetra {

inline constexpr int PIPS_PER_BEAT = 64;

// Maps any pip into 0 .. period - 1. A period of zero or less yields 0; nothing
// here can overflow or trap, whatever the pip.
constexpr int wrap_pip(int pip, int period) noexcept {
    if (period <= 0) {
        return 0;
    }
    int remainder = pip % period;
    if (remainder < 0) {
        remainder += period;
    }
    return remainder;
}

}  // namespace kinetra
