#include "module/convert_rows.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "module/buffer_format.hpp"
#include "module/internals.hpp"
#include "module/sequence.hpp"
#include "user/sampled_pattern.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

// One value, as pybind11's float caster takes it. An exact float runs no
// Python code and needs no reference of its own; anything else goes through
// the caster (which may call __float__ or __index__, and tries float(obj)
// once more when that fails).
bool read_value(PyObject* item, bool convert, double& out) {
    if (PyFloat_CheckExact(item)) {
        out = PyFloat_AS_DOUBLE(item);
        return true;
    }
    // Held while converted: its __float__ may drop it from the row it is in.
    const py::object held = py::reinterpret_borrow<py::object>(item);
    return internals::load_as_pybind11(held, convert, out);
}

// A pattern row: exactly three values, as pybind11's fixed-size array caster
// takes them (the length first, then item by item through the sequence
// protocol). Other than for a plain list or tuple, the caster itself reads it.
bool read_triple(py::handle row, bool convert, Offset3& out) {
    PyObject* r = row.ptr();
    double v[3];
    if (PyTuple_CheckExact(r)) {
        if (PyTuple_GET_SIZE(r) != 3) {
            return false;
        }
        for (Py_ssize_t i = 0; i < 3; ++i) {
            if (!read_value(PyTuple_GET_ITEM(r, i), convert, v[i])) {
                return false;
            }
        }
    } else if (PyList_CheckExact(r)) {
        if (PyList_GET_SIZE(r) != 3) {
            return false;
        }
        // Item by item, as the caster does: a value's __float__ may have
        // shortened the list, and then this raises IndexError like it.
        for (Py_ssize_t i = 0; i < 3; ++i) {
            py::object item = py::reinterpret_steal<py::object>(PySequence_GetItem(r, i));
            if (!item) {
                throw py::error_already_set();
            }
            if (!read_value(item.ptr(), convert, v[i])) {
                return false;
            }
        }
    } else {
        std::array<double, 3> a{};
        if (!internals::load_as_pybind11(row, convert, a)) {
            return false;
        }
        v[0] = a[0];
        v[1] = a[1];
        v[2] = a[2];
    }
    out = Offset3{v[0], v[1], v[2]};
    return true;
}

// A recording row of any width, as pybind11's list caster takes it. Its
// values are appended to `sink` unless that is null; `count` receives how
// many there were.
bool read_row(py::handle row, bool convert, std::vector<double>* sink, std::size_t& count) {
    PyObject* r = row.ptr();
    count = 0;
    double v = 0.0;
    if (PyList_CheckExact(r)) {
        // Walked like its iterator walks it: against its current length.
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(r); ++i) {
            if (!read_value(PyList_GET_ITEM(r, i), convert, v)) {
                return false;
            }
            if (sink != nullptr) {
                sink->push_back(v);
            }
            ++count;
        }
        return true;
    }
    if (PyTuple_CheckExact(r)) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(r); ++i) {
            if (!read_value(PyTuple_GET_ITEM(r, i), convert, v)) {
                return false;
            }
            if (sink != nullptr) {
                sink->push_back(v);
            }
            ++count;
        }
        return true;
    }
    std::vector<double> values;
    if (!internals::load_as_pybind11(row, convert, values)) {
        return false;
    }
    if (sink != nullptr) {
        sink->insert(sink->end(), values.begin(), values.end());
    }
    count = values.size();
    return true;
}

// A 2-D buffer of C doubles exposed by `src`, held while it is read. Asking
// for it never raises: an object that exposes no buffer, or one that cannot
// be had as a strided buffer (the error is cleared), or one of another
// dimension, item size or format, gives an invalid matrix and is then read
// as a sequence.
class DoubleMatrix {
public:
    explicit DoubleMatrix(PyObject* src) {
        if (!PyObject_CheckBuffer(src)) {
            return;
        }
        if (PyObject_GetBuffer(src, &view_, PyBUF_RECORDS_RO) != 0) {
            PyErr_Clear();
            return;
        }
        held_ = true;
        valid_ = view_.ndim == 2 && view_.itemsize == sizeof(double) &&
                 native_double(view_.format) && view_.shape != nullptr &&
                 view_.strides != nullptr && view_.suboffsets == nullptr &&
                 view_.shape[0] >= 0 && view_.shape[1] >= 0;
    }
    ~DoubleMatrix() {
        if (held_) {
            PyBuffer_Release(&view_);
        }
    }
    DoubleMatrix(const DoubleMatrix&) = delete;
    DoubleMatrix& operator=(const DoubleMatrix&) = delete;

    bool valid() const noexcept { return valid_; }
    std::size_t rows() const noexcept { return static_cast<std::size_t>(view_.shape[0]); }
    std::size_t cols() const noexcept { return static_cast<std::size_t>(view_.shape[1]); }

    // Element (r, c), for r < rows() and c < cols(); strides may be negative,
    // zero or not a multiple of eight (the read makes no alignment claim).
    double at(std::size_t r, std::size_t c) const noexcept {
        const char* at = static_cast<const char*>(view_.buf) +
                         static_cast<Py_ssize_t>(r) * view_.strides[0] +
                         static_cast<Py_ssize_t>(c) * view_.strides[1];
        double v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }

    // The first `count` rows (count <= rows()), row after row, appended to
    // `out` (reserved by the caller): one copy when the rows lie packed in
    // order at an aligned address, else value by value.
    void append_rows(std::size_t count, std::vector<double>& out) const {
        const std::size_t width = cols();
        const auto item = static_cast<Py_ssize_t>(sizeof(double));
        const bool aligned = reinterpret_cast<std::uintptr_t>(view_.buf) % alignof(double) == 0;
        if (aligned && view_.strides[1] == item &&
            view_.strides[0] == static_cast<Py_ssize_t>(width) * item) {
            const auto* first = static_cast<const double*>(view_.buf);
            out.insert(out.end(), first, first + count * width);
            return;
        }
        for (std::size_t r = 0; r < count; ++r) {
            for (std::size_t c = 0; c < width; ++c) {
                out.push_back(at(r, c));
            }
        }
    }

private:
    Py_buffer view_{};
    bool held_ = false;
    bool valid_ = false;
};

}  // namespace

bool read_pattern_rows(py::handle src, bool convert, std::vector<Offset3>& out) {
    out.clear();
    // One row past the limit is enough for the constructor to refuse the
    // table; the rest are still converted, as their conversion can fail.
    constexpr std::size_t keep = SampledPattern::MAX_SAMPLES + 1;
    {
        const DoubleMatrix matrix(src.ptr());
        if (matrix.valid() && matrix.cols() == 3) {
            out.resize(std::min(matrix.rows(), keep));
            for (std::size_t r = 0; r < out.size(); ++r) {
                out[r] = Offset3{matrix.at(r, 0), matrix.at(r, 1), matrix.at(r, 2)};
            }
            return true;
        }
    }
    return read_sequence(
        src, convert, [&](std::size_t length) { out.reserve(std::min(length, keep)); },
        [&](py::handle row) {
            Offset3 sample{};
            if (!read_triple(row, convert, sample)) {
                return false;
            }
            if (out.size() < keep) {
                out.push_back(sample);
            }
            return true;
        });
}

bool read_recording_rows(py::handle src, bool convert, FlatRows& out) {
    out = FlatRows{};
    constexpr std::size_t limit = SampledRecording::MAX_VALUES;
    {
        const DoubleMatrix matrix(src.ptr());
        if (matrix.valid()) {
            out.rows = matrix.rows();
            out.width = matrix.cols();
            out.uniform_rows = out.rows;
            if (out.width == 0 || out.rows <= limit / out.width) {
                out.values.reserve(out.rows * out.width);
                matrix.append_rows(out.rows, out.values);
            }
            return true;
        }
    }
    std::size_t length = 0;
    bool uniform = true;  // no row of another width met yet
    bool keep = true;     // values still kept (not dropped past the limit)
    return read_sequence(
        src, convert, [&](std::size_t n) { length = n; },
        [&](py::handle row) {
            const std::size_t before = out.values.size();
            std::size_t count = 0;
            if (!read_row(row, convert, uniform && keep ? &out.values : nullptr, count)) {
                return false;
            }
            const std::size_t k = out.rows++;
            if (k == 0) {
                out.width = count;
                // Room for the whole table at once when it can be valid.
                if (count == 0 || length <= limit / count) {
                    out.values.reserve(length * count);
                }
            }
            if (!uniform) {
                return true;
            }
            if (count != out.width) {
                uniform = false;
                if (keep) {
                    out.values.resize(before);
                }
                return true;
            }
            out.uniform_rows = k + 1;
            if (keep && out.values.size() > limit) {
                keep = false;
                std::vector<double>().swap(out.values);
            }
            return true;
        });
}

}  // namespace kinetra::python
