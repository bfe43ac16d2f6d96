// The built-in rudiments, computed by formula, and the one table that lists them.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>
#include <utility>

#include "core/records.hpp"

namespace kinetra {

Offset3 bounce(int pip);
Offset3 sway(int pip);
Offset3 circle(int pip);
Offset3 figure_eight(int pip);
Offset3 step_touch(int pip);
Offset3 box_step(int pip);
Offset3 helix(int pip);
Offset3 mirel_background(int pip);
Offset3 single_stroke_roll(int pip);
Offset3 double_stroke_roll(int pip);
Offset3 multiple_bounce_roll(int pip);
Offset3 single_paradiddle(int pip);
Offset3 flam(int pip);
Offset3 drag(int pip);
Offset3 five_stroke_roll(int pip);

// The built-ins, in catalogue order (also the order of registration in
// Python): each one's catalogue record and its function, once. The catalogue,
// the name lookup, the Python registration and the count all derive from this
// table; the pack generator reads the names from it (one entry a line, as
// below), and a pack pattern that takes a built-in name fails to compile.
struct Builtin {
    RudimentInfo info;
    SampleFunction* sampler;
};

inline constexpr Builtin builtins[] = {
    {{"bounce", "One-beat vertical bounce", 64, 1}, bounce},
    {{"sway", "Two-beat side-to-side sway", 128, 1}, sway},
    {{"circle", "One-beat circular orbit", 64, 2}, circle},
    {{"figure_eight", "Two-beat figure eight", 128, 2}, figure_eight},
    {{"step_touch", "Two-beat side step with a small lift", 128, 2}, step_touch},
    {{"box_step", "Four-beat softened square path", 256, 2}, box_step},
    {{"helix", "Four-beat double-turn helix", 256, 3}, helix},
    {{"mirel_background", "Mirel/Quasa four-beat accented background drift", 256, 2}, mirel_background},
    {{"single_stroke_roll", "Alternating R/L strokes with smooth attack and decay", 64, 2}, single_stroke_roll},
    {{"double_stroke_roll", "RRLL strokes with a softer second motion", 64, 2}, double_stroke_roll},
    {{"multiple_bounce_roll", "Decaying same-hand bounce clusters", 64, 2}, multiple_bounce_roll},
    {{"single_paradiddle", "RLRR LRLL with accented lead strokes", 128, 2}, single_paradiddle},
    {{"flam", "Grace motion flowing into an opposite-hand primary motion", 64, 2}, flam},
    {{"drag", "Two grace motions flowing into an opposite-hand primary motion", 64, 2}, drag},
    {{"five_stroke_roll", "Two diddles resolving to an accented fifth motion", 128, 2}, five_stroke_roll},
};

inline constexpr std::size_t builtin_count = std::size(builtins);
inline constexpr std::size_t no_builtin = static_cast<std::size_t>(-1);

// The length of the longest built-in name.
inline constexpr std::size_t builtin_longest_name = [] {
    std::size_t longest = 0;
    for (const Builtin& builtin : builtins) {
        longest = builtin.info.name.size() > longest ? builtin.info.name.size() : longest;
    }
    return longest;
}();

// The position in `builtins` of the built-in of `Length` bytes whose name
// is `name` (name.size() == Length), or no_builtin: a compile-time loop over
// the entries, comparing the bytes of each one of that length.
template <std::size_t Length>
constexpr std::size_t builtin_of_length(std::string_view name) noexcept {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        std::size_t found = no_builtin;
        static_cast<void>(((builtins[I].info.name.size() == Length &&
                            name == builtins[I].info.name && (found = I, true)) ||
                           ...));
        return found;
    }(std::make_index_sequence<builtin_count>{});
}

// The position in `builtins` of the built-in called `name`, or no_builtin.
// The names are compared directly: a switch on the length (the compiler makes
// one of this chain of tests of one value), then the bytes of the one or two
// names of that length. Usable in constant expressions.
constexpr std::size_t builtin_position(std::string_view name) noexcept {
    return [&]<std::size_t... Length>(std::index_sequence<Length...>) {
        std::size_t found = no_builtin;
        static_cast<void>(
            ((name.size() == Length && (found = builtin_of_length<Length>(name), true)) || ...));
        return found;
    }(std::make_index_sequence<builtin_longest_name + 1>{});
}

}  // namespace kinetra
