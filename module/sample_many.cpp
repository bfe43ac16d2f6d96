#include "module/sample_many.hpp"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <pybind11/stl.h>

#include "core/pip.hpp"
#include "module/buffer_format.hpp"
#include "module/internals.hpp"
#include "module/sequence.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

static_assert(sizeof(Offset3) == 3 * sizeof(double), "a row is three packed doubles");
constexpr std::size_t ROW_BYTES = sizeof(Offset3);

// ---- reading pips -----------------------------------------------------------

template <typename U>
U byte_swapped(U v) noexcept {
    if constexpr (sizeof(U) == 2) {
        return static_cast<U>(__builtin_bswap16(v));
    } else if constexpr (sizeof(U) == 4) {
        return static_cast<U>(__builtin_bswap32(v));
    } else if constexpr (sizeof(U) == 8) {
        return static_cast<U>(__builtin_bswap64(v));
    } else {
        return v;
    }
}

// Element i of a buffer of T, stored in native (Swap false) or the other
// byte order, at any stride and alignment. wide(i) is the stored value;
// operator() its pip (the value itself once the array has been checked; the
// conversion is total, so memory changed since then gives other pips, never
// undefined behaviour).
template <typename T, bool Swap>
struct BufferPips {
    const char* base;
    Py_ssize_t stride;

    T wide(std::size_t i) const noexcept {
        using U = std::make_unsigned_t<T>;
        U raw;
        std::memcpy(&raw, base + static_cast<Py_ssize_t>(i) * stride, sizeof raw);
        if constexpr (Swap) {
            raw = byte_swapped(raw);
        }
        return static_cast<T>(raw);
    }
    int operator()(std::size_t i) const noexcept { return static_cast<int>(wide(i)); }
};

// Struct codes of integers, as memoryview and array.array know them.
bool integer_code(char code, bool& is_signed) noexcept {
    switch (code) {
        case 'b': case 'h': case 'i': case 'l': case 'q': case 'n':
            is_signed = true;
            return true;
        case 'B': case 'H': case 'I': case 'L': case 'Q': case 'N':
            is_signed = false;
            return true;
        default:
            return false;
    }
}

// The element layout of a buffer format of one integer ("q", "<i", ">H",
// "=l", "!I" and so on; no format means unsigned bytes), or false.
bool integer_item(const char* format, Py_ssize_t itemsize, PipArray::Item& item) noexcept {
    std::string_view f = format == nullptr ? std::string_view("B") : std::string_view(format);
    bool little = std::endian::native == std::endian::little;
    if (f.size() == 2) {
        switch (f[0]) {
            case '@': case '=': break;
            case '<': little = true; break;
            case '>': case '!': little = false; break;
            default: return false;
        }
        f.remove_prefix(1);
    }
    if (f.size() != 1 || !integer_code(f[0], item.is_signed)) {
        return false;
    }
    if (itemsize != 1 && itemsize != 2 && itemsize != 4 && itemsize != 8) {
        return false;
    }
    item.size = static_cast<unsigned char>(itemsize);
    item.swapped = itemsize > 1 && little != (std::endian::native == std::endian::little);
    return true;
}

// Calls visit(BufferPips<T, Swap>{...}) for the concrete element type.
template <typename Visit>
void with_buffer_pips(const PipArray::Item& item, const char* base, Py_ssize_t stride,
                      Visit&& visit) {
    const auto go = [&]<typename T>() {
        if (item.swapped) {
            visit(BufferPips<T, true>{base, stride});
        } else {
            visit(BufferPips<T, false>{base, stride});
        }
    };
    switch (item.size) {
        case 1: item.is_signed ? go.template operator()<std::int8_t>()
                               : go.template operator()<std::uint8_t>(); break;
        case 2: item.is_signed ? go.template operator()<std::int16_t>()
                               : go.template operator()<std::uint16_t>(); break;
        case 4: item.is_signed ? go.template operator()<std::int32_t>()
                               : go.template operator()<std::uint32_t>(); break;
        default: item.is_signed ? go.template operator()<std::int64_t>()
                                : go.template operator()<std::uint64_t>(); break;
    }
}

// One pip as pybind11's int caster takes it. An exact int runs no Python code
// and is read at once; anything else goes through the caster itself.
bool read_pip(py::handle item, bool convert, int& out) {
    if (PyLong_CheckExact(item.ptr())) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(item.ptr(), &overflow);
        if (overflow == 0 && v >= INT_MIN && v <= INT_MAX) {
            out = static_cast<int>(v);
            return true;
        }
        return false;  // too large either way (an exact int raises nothing here)
    }
    return internals::load_as_pybind11(item, convert, out);
}

// ---- the result's owner -----------------------------------------------------

// The object a result memoryview views: n rows of three doubles, either in
// memory of its own or in `out`'s buffer, which it holds while it lives.
struct Rows {
    PyObject_HEAD
    char* data;           // row 0
    bool owns_data;       // allocated here (else `out`'s memory, or none)
    Py_buffer target;     // `out`'s buffer, when target.obj is set
    Py_ssize_t shape[2];  // n, 3
    Py_ssize_t strides[2];
};

double empty_rows[3] = {};  // where a result of no rows points

int rows_getbuffer(PyObject* self, Py_buffer* view, int flags) {
    auto* rows = reinterpret_cast<Rows*>(self);
    if ((flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS && rows->shape[0] > 1) {
        PyErr_SetString(PyExc_BufferError, "rows are C-contiguous, not Fortran-contiguous");
        view->obj = nullptr;
        return -1;
    }
    view->obj = Py_NewRef(self);
    view->buf = rows->data;
    view->len = rows->shape[0] * static_cast<Py_ssize_t>(ROW_BYTES);
    view->readonly = 0;
    view->itemsize = sizeof(double);
    view->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>("d") : nullptr;
    if ((flags & PyBUF_ND) == PyBUF_ND) {
        view->ndim = 2;
        view->shape = rows->shape;
        view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? rows->strides : nullptr;
    } else {  // plain bytes were asked for, which C-contiguous rows are
        view->ndim = 1;
        view->shape = nullptr;
        view->strides = nullptr;
    }
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

int rows_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<Rows*>(self)->target.obj);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

void rows_dealloc(PyObject* self) {
    auto* rows = reinterpret_cast<Rows*>(self);
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    if (rows->target.obj != nullptr) {
        PyBuffer_Release(&rows->target);
    }
    if (rows->owns_data) {
        PyMem_Free(rows->data);
    }
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot rows_slots[] = {
    {Py_bf_getbuffer, reinterpret_cast<void*>(rows_getbuffer)},
    {Py_tp_traverse, reinterpret_cast<void*>(rows_traverse)},
    {Py_tp_dealloc, reinterpret_cast<void*>(rows_dealloc)},
    {0, nullptr},
};

PyType_Spec rows_spec = {
    "kinetra.rows",
    sizeof(Rows),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE |
        Py_TPFLAGS_DISALLOW_INSTANTIATION,
    rows_slots,
};

// A new, empty owner (no rows yet, untracked). Raises MemoryError on failure.
Rows* new_rows() {
    static PyTypeObject* type = nullptr;  // kept for the process
    if (type == nullptr) {
        PyObject* made = PyType_FromSpec(&rows_spec);
        if (made == nullptr) {
            throw py::error_already_set();
        }
        type = reinterpret_cast<PyTypeObject*>(made);
    }
    Rows* rows = PyObject_GC_New(Rows, type);
    if (rows == nullptr) {
        throw py::error_already_set();
    }
    rows->data = nullptr;
    rows->owns_data = false;
    std::memset(&rows->target, 0, sizeof rows->target);
    rows->shape[0] = 0;
    rows->shape[1] = 3;
    rows->strides[0] = static_cast<Py_ssize_t>(ROW_BYTES);
    rows->strides[1] = sizeof(double);
    return rows;
}

// ---- writing rows -----------------------------------------------------------

struct FunctionRows {
    SampleFunction* function;
    Offset3 operator()(int pip) const { return function(pip); }
};

struct LoopRows {
    const Offset3* loop;
    PipWrap wrap;
    Offset3 operator()(int pip) const noexcept { return loop[static_cast<std::size_t>(wrap(pip))]; }
};

// Each row is made in place where `out` is aligned for it: a sample
// function then returns its result straight into `out`. (Copied out of a
// temporary instead, the row would be read back as wider words than the
// function stored it in, which stalls the loop on every row.)
template <typename Pips, typename Source>
void write_rows(std::size_t count, const Pips& pips, const Source& source, char* out) {
    if (reinterpret_cast<std::uintptr_t>(out) % alignof(Offset3) == 0) {
        for (std::size_t i = 0; i < count; ++i) {
            ::new (static_cast<void*>(out + i * ROW_BYTES)) Offset3(source(pips(i)));
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Offset3 row = source(pips(i));
        std::memcpy(out + i * ROW_BYTES, &row, ROW_BYTES);
    }
}

}  // namespace

// ---- sequences of pips ------------------------------------------------------------

bool read_pips(py::handle src, bool convert, std::vector<int>& out) {
    out.clear();
    return read_sequence(
        src, convert, [&](std::size_t length) { out.reserve(length); },
        [&](py::handle element) {
            int pip = 0;
            if (!read_pip(element, convert, pip)) {
                return false;
            }
            out.push_back(pip);
            return true;
        });
}

// ---- PipArray -----------------------------------------------------------------

PipArray::~PipArray() { release(); }

void PipArray::release() noexcept {
    if (held_) {
        PyBuffer_Release(&view_);
        held_ = false;
    }
}

bool PipArray::load(py::handle src, bool convert) {
    release();
    values_.clear();
    count_ = 0;
    base_ = nullptr;
    if (src.ptr() == nullptr) {
        return false;
    }
    switch (load_buffer(src)) {
        case Loaded::taken:
            return true;
        case Loaded::refused:
            return false;
        case Loaded::no_buffer:
            break;
    }
    return load_sequence(src, convert);
}

// A 1-D buffer of integers, held and checked in place: taken, or refused when
// a value lies outside the pip range (its elements would be refused one by
// one just the same). A buffer of any other rank is refused too. Any other
// object, or a 1-D buffer of something else, is no such buffer (and is then
// read as a sequence), with nothing held and no error set.
PipArray::Loaded PipArray::load_buffer(py::handle src) {
    if (!PyObject_CheckBuffer(src.ptr())) {
        return Loaded::no_buffer;
    }
    if (PyObject_GetBuffer(src.ptr(), &view_, PyBUF_RECORDS_RO) != 0) {
        PyErr_Clear();
        return Loaded::no_buffer;
    }
    held_ = true;
    if (view_.ndim != 1) {
        release();  // pips are a row of values, never a table or a scalar
        return Loaded::refused;
    }
    Item item;
    if (view_.shape == nullptr || view_.strides == nullptr || view_.suboffsets != nullptr ||
        view_.shape[0] < 0 || !integer_item(view_.format, view_.itemsize, item)) {
        release();
        return Loaded::no_buffer;
    }
    item_ = item;
    base_ = static_cast<const char*>(view_.buf);
    stride_ = view_.strides[0];
    count_ = static_cast<std::size_t>(view_.shape[0]);
    bool fits = true;
    with_buffer_pips(item_, base_, stride_, [&](const auto& pips) {
        using T = decltype(pips.wide(0));
        if constexpr (!std::in_range<int>(std::numeric_limits<T>::min()) ||
                      !std::in_range<int>(std::numeric_limits<T>::max())) {
            for (std::size_t i = 0; i < count_ && fits; ++i) {
                fits = std::in_range<int>(pips.wide(i));
            }
        }
    });
    if (!fits) {
        release();
        count_ = 0;
        return Loaded::refused;
    }
    return Loaded::taken;
}

bool PipArray::load_sequence(py::handle src, bool convert) {
    const bool loaded = read_pips(src, convert, values_);
    count_ = loaded ? values_.size() : 0;
    return loaded;
}

template <typename Visit>
void PipArray::visit(Visit&& visit) const {
    if (held_) {
        with_buffer_pips(item_, base_, stride_, visit);
    } else {
        visit(BufferPips<int, false>{reinterpret_cast<const char*>(values_.data()),
                                     static_cast<Py_ssize_t>(sizeof(int))});
    }
}

bool PipArray::overlaps(const void* first, std::size_t length) const noexcept {
    if (!held_ || count_ == 0 || length == 0) {
        return false;
    }
    // The lowest and highest byte of the elements, whatever the stride's sign.
    const auto last = static_cast<Py_ssize_t>(count_ - 1) * stride_;
    const auto low = reinterpret_cast<std::uintptr_t>(base_ + std::min<Py_ssize_t>(0, last));
    const auto high =
        reinterpret_cast<std::uintptr_t>(base_ + std::max<Py_ssize_t>(0, last)) + item_.size;
    const auto begin = reinterpret_cast<std::uintptr_t>(first);
    return low < begin + length && begin < high;
}

void PipArray::copy_out() {
    if (!held_) {
        return;
    }
    std::vector<int> values(count_);
    visit([&](const auto& pips) {
        for (std::size_t i = 0; i < count_; ++i) {
            values[i] = pips(i);
        }
    });
    values_ = std::move(values);
    release();
}

// ---- RowsTarget -----------------------------------------------------------------

RowsTarget::RowsTarget(OutArg out, std::size_t count) : count_(count) {
    if (count > static_cast<std::size_t>(PY_SSIZE_T_MAX) / ROW_BYTES) {
        throw std::bad_alloc();
    }
    Rows* rows = new_rows();
    rows_ = py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(rows));
    rows->shape[0] = static_cast<Py_ssize_t>(count);
    PyObject* target = out.object.ptr();
    if (target == nullptr || target == Py_None) {
        return;
    }
    if (!PyObject_CheckBuffer(target) ||
        PyObject_GetBuffer(target, &rows->target, PyBUF_RECORDS_RO) != 0) {
        PyErr_Clear();
        std::memset(&rows->target, 0, sizeof rows->target);
        throw py::type_error("out must be a writable buffer of float64");
    }
    const Py_buffer& view = rows->target;
    if (view.readonly || view.itemsize != sizeof(double) || !native_double(view.format)) {
        throw py::type_error("out must be a writable buffer of float64");
    }
    if (view.ndim != 2 || view.shape == nullptr || view.shape[0] != rows->shape[0] ||
        view.shape[1] != 3 || view.suboffsets != nullptr || !PyBuffer_IsContiguous(&view, 'C')) {
        throw py::value_error("out must be a C-contiguous array of shape (" +
                              std::to_string(count) + ", 3), one row per pip");
    }
    rows->data = count == 0 ? reinterpret_cast<char*>(empty_rows) : static_cast<char*>(view.buf);
}

py::memoryview RowsTarget::fill(const RowSource& source, PipArray& pips) {
    auto* rows = reinterpret_cast<Rows*>(rows_.ptr());
    const std::size_t bytes = count_ * ROW_BYTES;
    if (rows->target.obj == nullptr) {
        if (count_ == 0) {
            rows->data = reinterpret_cast<char*>(empty_rows);
        } else {
            rows->data = static_cast<char*>(PyMem_Malloc(bytes));
            if (rows->data == nullptr) {
                throw std::bad_alloc();
            }
            rows->owns_data = true;
        }
    } else if (pips.overlaps(rows->data, bytes)) {
        pips.copy_out();
    }
    PyObject_GC_Track(rows_.ptr());
    py::memoryview result =
        py::reinterpret_steal<py::memoryview>(PyMemoryView_FromObject(rows_.ptr()));
    if (!result) {
        throw py::error_already_set();
    }
    // Nothing below can fail.
    char* out = rows->data;
    pips.visit([&](const auto& reader) {
        if (source.function != nullptr) {
            write_rows(count_, reader, FunctionRows{source.function}, out);
        } else {
            write_rows(count_, reader,
                       LoopRows{source.loop.data(), PipWrap(static_cast<int>(source.loop.size()))},
                       out);
        }
    });
    return result;
}

RowSource loop_source(std::span<const Offset3> loop) {
    if (loop.empty()) {
        throw std::logic_error("Cannot sample a moved-from pattern");
    }
    return RowSource{nullptr, loop};
}

}  // namespace kinetra::python
