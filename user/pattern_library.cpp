#include "user/pattern_library.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "core/lookup.hpp"

namespace kinetra {

namespace {

std::string_view name_of(const std::vector<SampledPattern>& patterns, std::size_t position) {
    return patterns[position].name();
}

// True when `pattern` has the default's description and period and, pip by
// pip, exactly its positions (-0.0 and 0.0 count as equal).
bool reproduces_default(const SampledPattern& pattern, const RudimentInfo& record) {
    if (pattern.description() != record.description ||
        std::size_t{record.period_pips} != pattern.period_pips()) {
        return false;
    }
    SampleFunction* const default_sample = find_default(record.name);
    const int period = static_cast<int>(pattern.period_pips());
    for (int pip = 0; pip < period; ++pip) {
        const Offset3 own = pattern.sample(pip);
        const Offset3 expected = default_sample(pip);
        if (own.x != expected.x || own.y != expected.y || own.z != expected.z) {
            return false;
        }
    }
    return true;
}

// The hash index of `patterns`' names, which are distinct.
std::vector<NameSlot> index_names(const std::vector<SampledPattern>& patterns) {
    std::vector<NameSlot> slots(name_slots_for(patterns.size()), NameSlot{0, empty_position});
    const auto name_at = [&](std::size_t position) { return name_of(patterns, position); };
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        insert_name(slots, patterns[i].name(), static_cast<std::uint16_t>(i), name_at);
    }
    return slots;
}

}  // namespace

PatternLibrary::PatternLibrary(std::vector<SampledPattern> patterns) {
    static_assert(MAX_PATTERNS < max_indexed_names);
    if (patterns.size() > MAX_PATTERNS) {
        throw std::invalid_argument("Too many patterns");
    }
    // Built before anything is examined, as the default lookup needs it.
    static_cast<void>(kinetra::catalogue());

    // The names seen so far, by input position: the input is not touched until
    // every pattern has passed, so the positions stay valid; dropped copies of
    // defaults still count in it and in the total. When nothing is dropped it
    // becomes the library's index as it is.
    std::vector<NameSlot> seen(name_slots_for(patterns.size()), NameSlot{0, empty_position});
    const auto input_name = [&](std::size_t position) { return name_of(patterns, position); };
    std::vector<bool> keep(patterns.size(), true);
    std::size_t kept = patterns.size();
    std::size_t total = 0;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const SampledPattern& pattern = patterns[i];
        if (pattern.period_pips() == 0) {
            throw std::invalid_argument("Empty/moved-from pattern");
        }
        if (insert_name(seen, pattern.name(), static_cast<std::uint16_t>(i), input_name) !=
            not_found) {
            throw std::invalid_argument("Duplicate pattern name: " + pattern.name());
        }
        total += pattern.period_pips();
        if (total > MAX_TOTAL_SAMPLES) {
            throw std::invalid_argument("Pattern pack is too large");
        }
        const RudimentInfo* record = find_default_record(pattern.name());
        if (record == nullptr) {
            continue;
        }
        if (!reproduces_default(pattern, *record)) {
            throw std::invalid_argument("Cannot override default pattern: " + pattern.name());
        }
        keep[i] = false;
        --kept;
    }

    if (kept == patterns.size()) {
        patterns_ = std::move(patterns);
        slots_ = std::move(seen);
    } else {
        patterns_.reserve(kept);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if (keep[i]) {
                patterns_.push_back(std::move(patterns[i]));
            }
        }
        slots_ = index_names(patterns_);
    }
    for (const SampledPattern& pattern : patterns_) {
        longest_name_ = std::max(longest_name_, pattern.name().size());
    }
}

PatternRef PatternLibrary::find(std::string_view name) const noexcept {
    if (name.size() > longest_name_) {
        return PatternRef{nullptr, find_default(name)};
    }
    const std::uint64_t hash = name_hash(name);
    const std::size_t position = find_name(
        slots_, name, hash, [this](std::size_t p) { return name_of(patterns_, p); });
    if (position != not_found) {
        return PatternRef{&patterns_[position], nullptr};
    }
    return PatternRef{nullptr, find_default(name, hash)};
}

Offset3 PatternLibrary::sample(std::string_view name, int pip) const {
    const PatternRef found = find(name);
    if (!found) {
        throw_unknown(name);
    }
    return found.sample(pip);
}

std::vector<RudimentInfo> PatternLibrary::catalogue() const {
    const std::vector<RudimentInfo>& defaults = kinetra::catalogue();
    std::vector<RudimentInfo> records;
    records.reserve(defaults.size() + patterns_.size());
    records.insert(records.end(), defaults.begin(), defaults.end());
    for (const SampledPattern& pattern : patterns_) {
        records.push_back(pattern.info());
    }
    return records;
}

}  // namespace kinetra
