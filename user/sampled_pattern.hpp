// A caller-supplied loop: one position per pip, validated once on construction
// and never changed afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/records.hpp"

namespace kinetra {

class SampledPattern {
public:
    // The period must fit the 16-bit period of a catalogue record.
    static constexpr std::size_t MAX_SAMPLES = 65535;

    // Takes all three by value and moves them in, then validates: the name
    // (identifier rule), the sample count, then every coordinate in order.
    // Throws std::invalid_argument on the first violation.
    SampledPattern(std::string name, std::string description, std::vector<Offset3> samples);

    // Views into this pattern's own strings: valid while the pattern lives
    // unchanged.
    RudimentInfo info() const noexcept;

    // The position at `pip`, wrapped into the loop. Throws std::logic_error on
    // a pattern whose contents were moved away.
    Offset3 sample(int pip) const;

    // The loop itself: sample i is the position at pip i. Empty only for a
    // pattern whose contents were moved away.
    std::span<const Offset3> samples() const noexcept { return samples_; }

    const std::string& name() const noexcept { return name_; }
    const std::string& description() const noexcept { return description_; }
    std::size_t period_pips() const noexcept { return samples_.size(); }
    std::uint8_t dimensions() const noexcept { return dimensions_; }

private:
    std::string name_;
    std::string description_;
    std::vector<Offset3> samples_;
    std::uint8_t dimensions_ = 1;
};

}  // namespace kinetra
