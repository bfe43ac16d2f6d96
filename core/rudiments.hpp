// The fifteen built-in rudiments, computed by formula.
#pragma once

#include <array>

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

inline constexpr std::size_t builtin_count = 15;

// Catalogue records of the built-ins, in catalogue order, and their sample
// functions at the same positions.
extern const std::array<RudimentInfo, builtin_count> builtin_infos;
extern const std::array<SampleFunction*, builtin_count> builtin_samplers;

}  // namespace kinetra
