#include "user/pattern_library.hpp"

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "core/lookup.hpp"

namespace kinetra {

namespace {

const RudimentInfo* find_default(const std::vector<RudimentInfo>& defaults,
                                 std::string_view name) noexcept {
    for (const RudimentInfo& record : defaults) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

// True when `pattern` has the default's description and period and, pip by
// pip, exactly its positions (-0.0 and 0.0 count as equal).
bool reproduces_default(const SampledPattern& pattern, const RudimentInfo& record) {
    if (pattern.description() != record.description ||
        std::size_t{record.period_pips} != pattern.period_pips()) {
        return false;
    }
    const int period = static_cast<int>(pattern.period_pips());
    for (int pip = 0; pip < period; ++pip) {
        const Offset3 own = pattern.sample(pip);
        const Offset3 builtin = kinetra::sample(record.name, pip);
        if (own.x != builtin.x || own.y != builtin.y || own.z != builtin.z) {
            return false;
        }
    }
    return true;
}

}  // namespace

PatternLibrary::PatternLibrary(std::vector<SampledPattern> patterns) {
    if (patterns.size() > MAX_PATTERNS) {
        throw std::invalid_argument("Too many patterns");
    }
    const std::vector<RudimentInfo>& defaults = kinetra::catalogue();

    // The input is not touched until every pattern has passed, so the views in
    // `seen` stay valid; dropped copies of defaults still count in both.
    std::unordered_set<std::string_view> seen;
    seen.reserve(patterns.size());
    std::vector<bool> keep(patterns.size(), true);
    std::size_t kept = patterns.size();
    std::size_t total = 0;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const SampledPattern& pattern = patterns[i];
        if (pattern.period_pips() == 0) {
            throw std::invalid_argument("Empty/moved-from pattern");
        }
        if (!seen.insert(pattern.name()).second) {
            throw std::invalid_argument("Duplicate pattern name: " + pattern.name());
        }
        total += pattern.period_pips();
        if (total > MAX_TOTAL_SAMPLES) {
            throw std::invalid_argument("Pattern pack is too large");
        }
        const RudimentInfo* record = find_default(defaults, pattern.name());
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
        return;
    }
    patterns_.reserve(kept);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (keep[i]) {
            patterns_.push_back(std::move(patterns[i]));
        }
    }
}

const SampledPattern* PatternLibrary::find(std::string_view name) const noexcept {
    for (const SampledPattern& pattern : patterns_) {
        if (std::string_view{pattern.name()} == name) {
            return &pattern;
        }
    }
    return nullptr;
}

Offset3 PatternLibrary::sample(std::string_view name, int pip) const {
    if (const SampledPattern* own = find(name)) {
        return own->sample(pip);
    }
    return kinetra::sample(name, pip);
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
