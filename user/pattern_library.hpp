// A caller's patterns in one lookup space in front of the default patterns.
// A library never replaces a default: a pattern may carry a default's name only
// when it reproduces that default exactly, and is then left out.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/records.hpp"
#include "user/sampled_pattern.hpp"

namespace kinetra {

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

    // The stored pattern called `name` (exact match), or null: a name not
    // stored here is a default's or nobody's.
    const SampledPattern* find(std::string_view name) const noexcept;

    // Every default record, then one record per stored pattern. The records of
    // stored patterns view this library's strings.
    std::vector<RudimentInfo> catalogue() const;

private:
    std::vector<SampledPattern> patterns_;
};

}  // namespace kinetra
