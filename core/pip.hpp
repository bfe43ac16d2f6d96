// Musical time: the pip, 1/64 of a beat, and the wrap that makes every pattern loop.
#pragma once

#include <cstdint>

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

// wrap_pip(pip, period) for one period fixed in advance, for loops over many
// pips: the same result for every pip and period, with two multiplications in
// place of a division. The pip is shifted by 2^31 into an unsigned value u,
// u mod period is taken with a precomputed 64-bit reciprocal (exact for all
// 32-bit u and period), and the shift's own remainder is taken back off.
class PipWrap {
public:
    constexpr explicit PipWrap(int period) noexcept
        : period_(period > 0 ? static_cast<std::uint32_t>(period) : 1),
          reciprocal_(UINT64_MAX / period_ + 1),
          shift_(static_cast<std::uint32_t>((std::uint64_t{1} << 31) % period_)) {}

    constexpr int operator()(int pip) const noexcept {
        const std::uint32_t u = static_cast<std::uint32_t>(pip) ^ 0x80000000u;  // pip + 2^31
        const std::uint64_t low = reciprocal_ * u;
        // The high 64 bits of low * period, from two 32 x 32-bit products.
        const std::uint64_t low_part = (low & 0xFFFFFFFFu) * period_;
        const std::uint64_t high_part = (low >> 32) * period_;
        const auto r = static_cast<std::uint32_t>((high_part + (low_part >> 32)) >> 32);
        return static_cast<int>(r >= shift_ ? r - shift_ : r + (period_ - shift_));
    }

private:
    std::uint32_t period_;      // 1 for a period of zero or less: every pip gives 0
    std::uint64_t reciprocal_;  // ceil(2^64 / period), 0 for a period of 1
    std::uint32_t shift_;       // 2^31 mod period
};

}  // namespace kinetra
