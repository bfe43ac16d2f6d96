// A captured take: one row per pip from `start_pip`, one named column per axis,
// with the tempo and beat origin it was captured at. It does not loop: a pip
// outside its rows is an error. Validated once on construction, never changed.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace kinetra {

// Rows already gathered into one row-major vector by a reader that meets them
// one at a time (the Python binding). `rows` rows were read in all; the first
// `uniform_rows` of them are `width` values wide and are stored in order in
// `values`; row `uniform_rows`, if there is one, has another width, and no
// row from there on is stored. `values` is left empty instead when
// `uniform_rows` × `width` exceeds SampledRecording::MAX_VALUES: no such table
// passes the size checks, which come before any value is read.
struct FlatRows {
    std::vector<double> values;
    std::size_t rows = 0;
    std::size_t width = 0;
    std::size_t uniform_rows = 0;
};

class SampledRecording {
public:
    // Rows times axes never exceeds this (64 MiB of doubles).
    static constexpr std::size_t MAX_VALUES = 8388608;

    // Checks, in order: the name, the tempo and origin, the sizes (axes, rows,
    // last pip), the axis names, then the rows and their values. Throws
    // std::invalid_argument on the first failure. The values are copied into
    // one vector reserved once at its final size.
    SampledRecording(std::string name, std::vector<std::string> dimensions,
                     const std::vector<std::vector<double>>& rows, double bpm,
                     double beat_zero_seconds = 0.0, int start_pip = 0);

    // The same from rows gathered flat: the same checks in the same order, and
    // the values are taken over without a copy. A table that breaks the
    // FlatRows layout throws std::logic_error instead of being read.
    SampledRecording(std::string name, std::vector<std::string> dimensions, FlatRows rows,
                     double bpm, double beat_zero_seconds = 0.0, int start_pip = 0);

    const std::string& name() const noexcept { return name_; }
    const std::vector<std::string>& dimensions() const noexcept { return dimensions_; }
    std::size_t sample_count() const noexcept {
        return dimensions_.empty() ? 0 : samples_.size() / dimensions_.size();
    }
    double bpm() const noexcept { return bpm_; }
    double beat_zero_seconds() const noexcept { return beat_zero_seconds_; }
    int start_pip() const noexcept { return start_pip_; }

    // The row recorded at `pip`, one value per axis, viewing this recording's
    // storage. Throws std::out_of_range outside start_pip .. start_pip +
    // sample_count() - 1.
    std::span<const double> sample(int pip) const;

private:
    std::string name_;
    std::vector<std::string> dimensions_;
    std::vector<double> samples_;
    double bpm_;
    double beat_zero_seconds_;
    int start_pip_;
};

}  // namespace kinetra
