// Sample tables from Python: the `samples` argument of SampledPattern and of
// SampledRecording, read straight into the native layout (a vector of
// Offset3, or one flat row-major vector of doubles) with no vector per row.
//
// Contract of both readers:
// - Called with the GIL held, on a borrowed, non-null object.
// - Return true with `out` filled; false when the object does not convert
//   (the call then fails with pybind11's TypeError for incompatible
//   arguments); or throw pybind11::error_already_set when Python raised while
//   the object was read (a failing __len__, __iter__ or item access), at the
//   same point pybind11's own casters would.
// - Nested sequences are accepted exactly as pybind11's conversions to
//   std::vector<std::array<double, 3>> and std::vector<std::vector<double>>
//   accept them: the outer object through the one sequence reader
//   (module/sequence.hpp, pybind11's list caster's rule), each row as
//   pybind11's casters take one, a pattern row of exactly three elements,
//   every value as pybind11's float caster takes it, in the same order, with
//   the same calls into the objects. Plain lists and tuples are walked
//   directly; any other row goes through pybind11's casters themselves.
// - A 2-D buffer of C doubles (format "d" in native byte order, any strides,
//   read-only is fine) is read directly instead, provided it has three
//   columns for a pattern (any width for a recording); it gives the same
//   table as the nested lists its tolist() would give. Any other buffer is
//   read as a sequence, as before.
// - Memory is bounded by what a valid table can hold, whatever the input
//   claims: a pattern keeps at most SampledPattern::MAX_SAMPLES + 1 rows, a
//   recording drops its values (FlatRows) once they pass
//   SampledRecording::MAX_VALUES. The constructors refuse such tables on their
//   size before reading a value, so the errors are those of the full input.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <vector>

#include "core/records.hpp"
#include "module/internals.hpp"
#include "user/sampled_recording.hpp"

namespace kinetra::python {

bool read_pattern_rows(pybind11::handle src, bool convert, std::vector<Offset3>& out);
bool read_recording_rows(pybind11::handle src, bool convert, FlatRows& out);

// Argument types whose casters call the readers. Their annotations are those
// of the nested vectors they replace.
struct PatternRows {
    using Nested = std::vector<std::array<double, 3>>;  // the conversion followed
    std::vector<Offset3> samples;
};

struct RecordingRows {
    using Nested = std::vector<std::vector<double>>;  // the conversion followed
    FlatRows rows;
};

}  // namespace kinetra::python

namespace pybind11::detail {

template <>
struct type_caster<kinetra::python::PatternRows> {
    PYBIND11_TYPE_CASTER(kinetra::python::PatternRows,
                         kinetra::python::internals::annotation_of<
                             kinetra::python::PatternRows::Nested>);

    bool load(handle src, bool convert) {
        return kinetra::python::read_pattern_rows(src, convert, value.samples);
    }

    static handle cast(const kinetra::python::PatternRows&, return_value_policy, handle) = delete;
};

template <>
struct type_caster<kinetra::python::RecordingRows> {
    PYBIND11_TYPE_CASTER(kinetra::python::RecordingRows,
                         kinetra::python::internals::annotation_of<
                             kinetra::python::RecordingRows::Nested>);

    bool load(handle src, bool convert) {
        return kinetra::python::read_recording_rows(src, convert, value.rows);
    }

    static handle cast(const kinetra::python::RecordingRows&, return_value_policy, handle) = delete;
};

}  // namespace pybind11::detail
