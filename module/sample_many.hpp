// Batch sampling: one pattern at many pips, one row of three doubles per pip,
// written straight into a buffer (`sample_many` of the module, of
// SampledPattern and of PatternLibrary).
//
// Contract:
// - `pips` (PipArray): a 1-D buffer of integers (struct codes b B h H i I l L
//   q Q n N, any byte order, any stride or alignment, read-only is fine) is
//   read in place, and every value must lie in the signed 32-bit range; a
//   buffer of any other rank is refused. Any other object (a 1-D buffer of
//   something else included) is taken as pybind11 takes a list of int,
//   through the one sequence reader (module/sequence.hpp): a sequence that is
//   not str or bytes, or, where conversion is allowed, a generator, set, dict
//   view, map or zip consumed whole into a tuple first; each element converted
//   exactly as the int caster converts the per-call pip. The parameter's
//   convert flag (no-conversion for the methods) applies to both, as in
//   pybind11: the methods take no generator. A value that does not convert makes
//   the argument fail with pybind11's TypeError, as one bad pip makes
//   `sample` fail; an error the object raises while it is read comes through.
// - `out` (OutArg): None, or a writable, C-contiguous buffer of C doubles
//   (format "d" in this machine's byte order) of shape (n, 3) for n pips.
//   Anything else raises before any row is written: TypeError when it is no
//   writable buffer of doubles, ValueError when its shape or layout is wrong.
// - The result is a memoryview of format "d", shape (n, 3), writable: over
//   `out`'s memory (whose buffer stays exported while the view lives), or over
//   new memory that the view's object owns.
// - Every check comes first (the pips, then `out`, then the name, by the
//   caller); only then are rows written, and writing them cannot fail. Row i
//   is the source's sample at pips[i], bit for bit. Pips that share memory
//   with `out` are copied before the first row is written.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <span>
#include <vector>

#include "core/records.hpp"

namespace kinetra::python {

// A sequence of pips (no buffer) as the contract above takes it, into `out`:
// false when it does not convert; throws pybind11::error_already_set when
// Python raised while it was read.
bool read_pips(pybind11::handle src, bool convert, std::vector<int>& out);

// The pips of one call, validated: a buffer held while the call runs, or the
// converted values of a sequence.
class PipArray {
public:
    PipArray() = default;
    ~PipArray();
    PipArray(const PipArray&) = delete;
    PipArray& operator=(const PipArray&) = delete;

    // False when `src` does not convert (see the contract); throws
    // pybind11::error_already_set when Python raised while it was read.
    bool load(pybind11::handle src, bool convert);

    std::size_t size() const noexcept { return count_; }

    // Calls `visit(reader)` with a reader of this array's concrete layout:
    // reader(i) is pip i as an int, for i < size().
    template <typename Visit>
    void visit(Visit&& visit) const;

    // Whether the pips lie in (or overlap) the bytes [first, first + length).
    bool overlaps(const void* first, std::size_t length) const noexcept;

    // Converts buffered pips into owned values, so the buffer's memory may
    // change without changing them.
    void copy_out();

    // Element layout of a buffer of integers.
    struct Item {
        unsigned char size = 4;  // bytes: 1, 2, 4 or 8
        bool is_signed = true;
        bool swapped = false;  // stored in the other byte order
    };

private:
    enum class Loaded { taken, refused, no_buffer };
    Loaded load_buffer(pybind11::handle src);
    bool load_sequence(pybind11::handle src, bool convert);
    void release() noexcept;

    Py_buffer view_{};
    bool held_ = false;
    const char* base_ = nullptr;  // element 0 of the held buffer
    Py_ssize_t stride_ = 0;
    Item item_{};
    std::vector<int> values_;  // a sequence's pips, or a copy of the buffer's
    std::size_t count_ = 0;
};

// The `out` argument as passed; checked by RowsTarget.
struct OutArg {
    pybind11::handle object;
};

// What one call samples: a default pattern's function, or a user pattern's
// loop (sample i at pip i).
struct RowSource {
    SampleFunction* function = nullptr;
    std::span<const Offset3> loop;
};

// The destination of one call's rows. The constructor checks `out` against
// the number of pips (raising TypeError or ValueError) and holds its buffer;
// fill() then writes every row and returns the result.
class RowsTarget {
public:
    RowsTarget(OutArg out, std::size_t count);

    // Row i = `source` at pip i of `pips`. Raises only MemoryError, and only
    // before a row is written.
    pybind11::memoryview fill(const RowSource& source, PipArray& pips);

private:
    pybind11::object rows_;  // the result's owner, made on construction
    std::size_t count_ = 0;
};

// A user pattern's loop as a row source. Throws std::logic_error for a
// pattern whose contents were moved away, as its sample() does.
RowSource loop_source(std::span<const Offset3> loop);

}  // namespace kinetra::python

namespace pybind11::detail {

template <>
struct type_caster<kinetra::python::PipArray> {
public:
    static constexpr auto name = io_name(
        "collections.abc.Buffer | collections.abc.Sequence[typing.SupportsInt | "
        "typing.SupportsIndex]",
        "collections.abc.Buffer | collections.abc.Sequence[int]");

    bool load(handle src, bool convert) { return value.load(src, convert); }

    template <typename T>
    using cast_op_type = kinetra::python::PipArray&;
    operator kinetra::python::PipArray&() { return value; }

private:
    kinetra::python::PipArray value;
};

template <>
struct type_caster<kinetra::python::OutArg> {
public:
    static constexpr auto name = const_name("collections.abc.Buffer | None");

    // Anything is taken here; RowsTarget checks it with errors of its own.
    bool load(handle src, bool) {
        value.object = src;
        return true;
    }

    template <typename T>
    using cast_op_type = kinetra::python::OutArg;
    operator kinetra::python::OutArg() { return value; }

private:
    kinetra::python::OutArg value;
};

}  // namespace pybind11::detail
