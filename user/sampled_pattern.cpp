#include "user/sampled_pattern.hpp"

#include <cmath>
#include <stdexcept>
#include <utility>

#include "core/pip.hpp"
#include "user/identifier.hpp"

namespace kinetra {

namespace {

bool in_unit_range(double v) noexcept {
    return std::isfinite(v) && v >= -1.0 && v <= 1.0;
}

}  // namespace

SampledPattern::SampledPattern(std::string name, std::string description,
                               std::vector<Offset3> samples)
    : name_(std::move(name)), description_(std::move(description)), samples_(std::move(samples)) {
    if (!is_identifier(name_)) {
        throw std::invalid_argument("Invalid pattern name");
    }
    if (samples_.empty() || samples_.size() > MAX_SAMPLES) {
        throw std::invalid_argument("A pattern requires 1..65535 samples (one per pip)");
    }
    for (const Offset3& s : samples_) {
        if (!in_unit_range(s.x) || !in_unit_range(s.y) || !in_unit_range(s.z)) {
            throw std::invalid_argument("Pattern samples must be finite and within [-1, 1]");
        }
        // -0.0 compares equal to 0.0, so a negative zero never raises the count.
        if (s.z != 0.0) {
            dimensions_ = 3;
        } else if (s.y != 0.0 && dimensions_ != 3) {
            dimensions_ = 2;
        }
    }
}

RudimentInfo SampledPattern::info() const noexcept {
    return RudimentInfo{name_, description_, static_cast<std::uint16_t>(samples_.size()),
                        dimensions_};
}

Offset3 SampledPattern::sample(int pip) const {
    if (samples_.empty()) {
        throw std::logic_error("Cannot sample a moved-from pattern");
    }
    const int period = static_cast<int>(samples_.size());
    return samples_[static_cast<std::size_t>(wrap_pip(pip, period))];
}

}  // namespace kinetra
