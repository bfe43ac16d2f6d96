// The built-in rudiments. Every formula wraps the pip first and then
// computes in IEEE doubles in exactly the order written here (the build turns
// off fused multiply-add), so results are bit-identical on every platform.
#include "core/rudiments.hpp"

#include <cmath>
#include <cstddef>

#include "core/pip.hpp"

namespace kinetra {
namespace {

constexpr double pi = 3.141592653589793;
constexpr double two_pi = 6.283185307179586;
constexpr double four_pi = 12.566370614359172;
constexpr double half_pi = 1.5707963267948966;

struct SinCos {
    double sin;
    double cos;
};

// One sine-and-cosine evaluation of the same angle.
SinCos sin_cos(double a) {
    SinCos r;
#if defined(__GLIBC__)
    ::sincos(a, &r.sin, &r.cos);
#else
    r.sin = std::sin(a);
    r.cos = std::cos(a);
#endif
    return r;
}

// Cubic smoothstep of a fraction 0 .. 1.
constexpr double smoothstep(double u) { return (3.0 - (u + u)) * (u * u); }

// ---- mirel_background: a keyframed path baked into a table at compile time --

struct BackgroundKeyframe {
    int pip;
    double x;
    double y;
};

constexpr BackgroundKeyframe background_keyframes[] = {
    {0, 0.0, 0.0},
    {23, 2.0 / 14.0, -0.1},
    {33, 13.0 / 14.0, -0.8},
    {49, 5.0 / 14.0, -0.4},
    {87, -3.0 / 14.0, 0.2},
    {100, -14.0 / 14.0, 0.9},
    {118, -5.0 / 14.0, 0.5},
    {154, 1.0 / 14.0, 0.0},
    {169, 12.0 / 14.0, 1.0},
    {187, 4.0 / 14.0, 0.5},
    {215, -2.0 / 14.0, -0.2},
    {228, -10.0 / 14.0, -0.9},
    {243, -3.0 / 14.0, -0.3},
    {256, 0.0, 0.0},
};

struct BackgroundTable {
    Offset3 rows[256];
};

// A pip equal to a keyframe's pip belongs to the segment that ends there (t = 1).
constexpr BackgroundTable make_background_table() {
    BackgroundTable table{};
    std::size_t k = 0;
    for (int i = 0; i < 256; ++i) {
        while (i > background_keyframes[k + 1].pip) {
            ++k;
        }
        const BackgroundKeyframe& a = background_keyframes[k];
        const BackgroundKeyframe& b = background_keyframes[k + 1];
        const double t = static_cast<double>(i - a.pip) / static_cast<double>(b.pip - a.pip);
        const double h = smoothstep(t);
        table.rows[i] = Offset3{(b.x - a.x) * h + a.x, (b.y - a.y) * h + a.y, 0.0};
    }
    return table;
}

constexpr BackgroundTable background_table = make_background_table();

// ---- stroke rudiments -------------------------------------------------------

struct Stroke {
    int start;
    int hand;  // +1 right, -1 left
    double amplitude;
    int length;
};

constexpr int R = 1;
constexpr int L = -1;

// Sums a sin-squared envelope per active stroke: x swings to the stroke's hand,
// y dips by 0.72 of the same envelope. Strokes may run across the wrap.
template <std::size_t N>
Offset3 stroke_motion(int pip, int period, const Stroke (&strokes)[N]) {
    double sx = 0.0;
    double sy = 0.0;
    const int p = wrap_pip(pip, period);
    for (const Stroke& stroke : strokes) {
        const int local = wrap_pip(p - stroke.start, period);
        if (local < stroke.length) {
            const double s = std::sin((static_cast<double>(local) / static_cast<double>(stroke.length)) * pi);
            const double e = (stroke.amplitude * s) * s;
            sy = sy - 0.72 * e;
            sx = e * static_cast<double>(stroke.hand) + sx;
        }
    }
    const auto clamp = [](double v) {
        if (v < -1.0) {
            v = -1.0;
        }
        if (v > 1.0) {
            v = 1.0;
        }
        return v;
    };
    return Offset3{clamp(sx), clamp(sy), 0.0};
}

constexpr Stroke single_stroke_roll_strokes[] = {
    {0, R, 0.92, 8},  {8, L, 0.92, 8},  {16, R, 0.92, 8}, {24, L, 0.92, 8},
    {32, R, 0.92, 8}, {40, L, 0.92, 8}, {48, R, 0.92, 8}, {56, L, 0.92, 8},
};

constexpr Stroke double_stroke_roll_strokes[] = {
    {0, R, 0.88, 8},  {8, R, 0.72, 8},  {16, L, 0.88, 8}, {24, L, 0.72, 8},
    {32, R, 0.88, 8}, {40, R, 0.72, 8}, {48, L, 0.88, 8}, {56, L, 0.72, 8},
};

constexpr Stroke multiple_bounce_roll_strokes[] = {
    {0, R, 0.92, 6},  {6, R, 0.68, 6},  {12, R, 0.48, 6}, {18, R, 0.32, 6},
    {32, L, 0.92, 6}, {38, L, 0.68, 6}, {44, L, 0.48, 6}, {50, L, 0.32, 6},
};

constexpr Stroke single_paradiddle_strokes[] = {
    {0, R, 1.0, 8},   {8, L, 0.72, 8},   {16, R, 0.72, 8},  {24, R, 0.72, 8},
    {32, L, 1.0, 8},  {40, R, 0.72, 8},  {48, L, 0.72, 8},  {56, L, 0.72, 8},
    {64, R, 1.0, 8},  {72, L, 0.72, 8},  {80, R, 0.72, 8},  {88, R, 0.72, 8},
    {96, L, 1.0, 8},  {104, R, 0.72, 8}, {112, L, 0.72, 8}, {120, L, 0.72, 8},
};

constexpr Stroke flam_strokes[] = {
    {0, L, 0.34, 10}, {5, R, 0.9, 14}, {32, R, 0.34, 10}, {37, L, 0.9, 14},
};

constexpr Stroke drag_strokes[] = {
    {0, L, 0.28, 8},  {5, L, 0.32, 8},  {10, R, 0.88, 14},
    {32, R, 0.28, 8}, {37, R, 0.32, 8}, {42, L, 0.88, 14},
};

constexpr Stroke five_stroke_roll_strokes[] = {
    {0, R, 0.72, 9},  {8, R, 0.62, 9},  {16, L, 0.72, 9},  {24, L, 0.62, 9},  {36, R, 1.0, 14},
    {64, L, 0.72, 9}, {72, L, 0.62, 9}, {80, R, 0.72, 9},  {88, R, 0.62, 9},  {100, L, 1.0, 14},
};

}  // namespace

// ---- closed-form rudiments --------------------------------------------------

Offset3 bounce(int pip) {
    const double p = wrap_pip(pip, 64);
    return Offset3{1.0 - 4.0 * std::fabs(p * 0.015625 - 0.5), 0.0, 0.0};
}

Offset3 sway(int pip) {
    const double p = wrap_pip(pip, 128);
    return Offset3{std::sin((p * 0.0078125) * two_pi), 0.0, 0.0};
}

Offset3 circle(int pip) {
    const double p = wrap_pip(pip, 64);
    const SinCos a = sin_cos(((p * 0.015625) * two_pi) - half_pi);
    return Offset3{a.cos, a.sin, 0.0};
}

Offset3 figure_eight(int pip) {
    const double p = wrap_pip(pip, 128);
    const double a = (p * 0.0078125) * two_pi;
    return Offset3{std::sin(a), std::sin(a + a), 0.0};
}

Offset3 step_touch(int pip) {
    constexpr double start[4] = {-1.0, 0.0, 1.0, 0.0};
    constexpr double end[4] = {0.0, 1.0, 0.0, -1.0};
    const int p = wrap_pip(pip, 128);
    const int s = p / 32;
    const double u = static_cast<double>(p % 32) * 0.03125;
    const double h = smoothstep(u);
    return Offset3{h * (end[s] - start[s]) + start[s], -(std::sin(u * pi) * 0.35), 0.0};
}

Offset3 box_step(int pip) {
    constexpr double corner_x[4] = {-1.0, 1.0, 1.0, -1.0};
    constexpr double corner_y[4] = {-1.0, -1.0, 1.0, 1.0};
    const int p = wrap_pip(pip, 256);
    const int s = p / 64;
    const int e = (s + 1) % 4;
    const double u = static_cast<double>(p % 64) * 0.015625;
    const double h = smoothstep(u);
    return Offset3{(corner_x[e] - corner_x[s]) * h + corner_x[s],
                   (corner_y[e] - corner_y[s]) * h + corner_y[s], 0.0};
}

Offset3 helix(int pip) {
    const double u = wrap_pip(pip, 256) * 0.00390625;
    const SinCos turn = sin_cos(u * four_pi);
    return Offset3{turn.cos, turn.sin, std::sin(u * two_pi)};
}

Offset3 mirel_background(int pip) { return background_table.rows[wrap_pip(pip, 256)]; }

Offset3 single_stroke_roll(int pip) { return stroke_motion(pip, 64, single_stroke_roll_strokes); }
Offset3 double_stroke_roll(int pip) { return stroke_motion(pip, 64, double_stroke_roll_strokes); }
Offset3 multiple_bounce_roll(int pip) { return stroke_motion(pip, 64, multiple_bounce_roll_strokes); }
Offset3 single_paradiddle(int pip) { return stroke_motion(pip, 128, single_paradiddle_strokes); }
Offset3 flam(int pip) { return stroke_motion(pip, 64, flam_strokes); }
Offset3 drag(int pip) { return stroke_motion(pip, 64, drag_strokes); }
Offset3 five_stroke_roll(int pip) { return stroke_motion(pip, 128, five_stroke_roll_strokes); }

}  // namespace kinetra
