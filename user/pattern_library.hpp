// A caller's patterns in one lookup space in front of the default patterns.
// A library never replaces a default: a pattern may carry a default's name only
// when it reproduces that default exactly, and is then left out.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/name_index.hpp"
#include "core/records.hpp"
#include "user/sampled_pattern.hpp"

namespace kinetra {

// What a name found through a library stands for: one of the library's own
// patterns, or a default pattern's sample function; neither when the name is
// unknown. Valid while the library lives.
struct PatternRef {
    const SampledPattern* own = nullptr;
    SampleFunction* function = nullptr;

    explicit operator bool() const noexcept { return own != nullptr || function != nullptr; }

    // The pattern at `pip`; only for a reference that found a pattern.
    Offset3 sample(int pip) const { return own != nullptr ? own->sample(pip) : function(pip); }
};

class PatternLibrary {
public:
    static constexpr std::size_t MAX_PATTERNS = 1024;
    static constexpr std::size_t MAX_TOTAL_SAMPLES = 1048576;

    // Validates the input in order and keeps the accepted patterns in input
    // order. Throws std::invalid_argument on the first violated rule; no
    // library results then.
    explicit PatternLibrary(std::vector<SampledPattern> patterns = {});

    // Own patterns first (exact name match), then the default lookup, which
    // throws std::invalid_argument for a name nobody carries. Allocates nothing
    // unless it throws.
    Offset3 sample(std::string_view name, int pip) const;

    // The pattern `name` stands for here, found as sample() finds it, to be
    // sampled any number of times; an empty reference for an unknown name
    // (throw_unknown of core/lookup.hpp raises sample()'s error for it).
    PatternRef find(std::string_view name) const noexcept;

    // Every default record, then one record per stored pattern. The records of
    // stored patterns view this library's strings.
    std::vector<RudimentInfo> catalogue() const;

private:
    std::vector<SampledPattern> patterns_;
    // Hash index of the stored names (positions in patterns_); see
    // core/name_index.hpp. Names longer than the longest need no hashing.
    std::vector<NameSlot> slots_;
    std::size_t longest_name_ = 0;
};

}  // namespace kinetra
