#include "user/sampled_recording.hpp"

#include <climits>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "core/pip.hpp"
#include "user/identifier.hpp"

namespace kinetra {

namespace {

bool valid_timing(double bpm, double beat_zero_seconds) noexcept {
    if (!std::isfinite(bpm) || !(bpm > 0.0)) {
        return false;
    }
    const double seconds_per_beat = 60.0 / bpm;
    if (!std::isfinite(seconds_per_beat)) {
        return false;
    }
    const double seconds_per_pip = seconds_per_beat * (1.0 / PIPS_PER_BEAT);
    return seconds_per_pip > 0.0 && std::isfinite(beat_zero_seconds);
}

bool valid_sizes(std::size_t axes, std::size_t rows, int start_pip) noexcept {
    if (axes == 0 || axes > SampledRecording::MAX_VALUES) {
        return false;
    }
    if (rows == 0 || rows > SampledRecording::MAX_VALUES / axes) {
        return false;
    }
    // rows is at most MAX_VALUES here, so the sum cannot overflow 64 bits.
    return std::int64_t{start_pip} + static_cast<std::int64_t>(rows) <= INT_MAX;
}

// The layout of nested rows, for the constructor that takes them.
FlatRows flatten(const std::vector<std::vector<double>>& rows) {
    FlatRows flat;
    flat.rows = rows.size();
    flat.width = rows.empty() ? 0 : rows.front().size();
    while (flat.uniform_rows < flat.rows && rows[flat.uniform_rows].size() == flat.width) {
        ++flat.uniform_rows;
    }
    if (flat.width == 0 || flat.uniform_rows <= SampledRecording::MAX_VALUES / flat.width) {
        flat.values.reserve(flat.uniform_rows * flat.width);
        for (std::size_t k = 0; k < flat.uniform_rows; ++k) {
            flat.values.insert(flat.values.end(), rows[k].begin(), rows[k].end());
        }
    }
    return flat;
}

}  // namespace

SampledRecording::SampledRecording(std::string name, std::vector<std::string> dimensions,
                                   const std::vector<std::vector<double>>& rows, double bpm,
                                   double beat_zero_seconds, int start_pip)
    : SampledRecording(std::move(name), std::move(dimensions), flatten(rows), bpm,
                       beat_zero_seconds, start_pip) {}

SampledRecording::SampledRecording(std::string name, std::vector<std::string> dimensions,
                                   FlatRows rows, double bpm, double beat_zero_seconds,
                                   int start_pip)
    : name_(std::move(name)),
      dimensions_(std::move(dimensions)),
      bpm_(bpm),
      beat_zero_seconds_(beat_zero_seconds),
      start_pip_(start_pip) {
    if (!is_identifier(name_)) {
        throw std::invalid_argument("Invalid identifier");
    }
    if (!valid_timing(bpm_, beat_zero_seconds_)) {
        throw std::invalid_argument("A finite positive BPM and beat origin are required");
    }
    const std::size_t axes = dimensions_.size();
    if (!valid_sizes(axes, rows.rows, start_pip_)) {
        throw std::invalid_argument("Empty recording or recording resource limit exceeded");
    }

    // A hash set keeps the repeat check linear however many axes there are;
    // the views point into dimensions_, which no longer changes.
    std::unordered_set<std::string_view> seen;
    seen.reserve(axes);
    for (const std::string& axis : dimensions_) {
        if (!is_identifier(axis)) {
            throw std::invalid_argument("Invalid identifier");
        }
        if (!seen.insert(axis).second) {
            throw std::invalid_argument("Duplicate axis");
        }
    }

    // Rows are checked in order: every row before the first one whose width
    // differs from the number of axes has its values checked, in order, and
    // only then is that row reported. The sizes passed, so rows × axes is at
    // most MAX_VALUES and the products below cannot overflow.
    if (rows.uniform_rows > rows.rows) {
        throw std::logic_error("Malformed row table");
    }
    const std::size_t checked_rows = rows.width == axes ? rows.uniform_rows : 0;
    if (rows.values.size() < checked_rows * axes) {
        throw std::logic_error("Malformed row table");
    }
    for (std::size_t i = 0; i < checked_rows * axes; ++i) {
        if (!(std::fabs(rows.values[i]) <= 1.0)) {  // also refuses NaN and infinities
            throw std::invalid_argument("Invalid sample");
        }
    }
    if (checked_rows < rows.rows) {
        throw std::invalid_argument("Ragged recording");
    }
    if (rows.values.size() != rows.rows * axes) {
        throw std::logic_error("Malformed row table");
    }
    samples_ = std::move(rows.values);
}

std::span<const double> SampledRecording::sample(int pip) const {
    const std::int64_t row = std::int64_t{pip} - start_pip_;
    if (row < 0 || static_cast<std::uint64_t>(row) >= sample_count()) {
        throw std::out_of_range("Pip outside non-looping recording");
    }
    const std::size_t axes = dimensions_.size();
    return {samples_.data() + static_cast<std::size_t>(row) * axes, axes};
}

}  // namespace kinetra
