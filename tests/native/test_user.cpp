// User patterns: what the Python classes cannot reach (moved-from patterns,
// info() views, the 16-bit period edge).
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/lookup.hpp"
#include "core/rudiments.hpp"
#include "user/pattern_library.hpp"
#include "user/sampled_pattern.hpp"
#include "user/sampled_recording.hpp"

namespace {

using kinetra::Offset3;
using kinetra::PatternLibrary;
using kinetra::SampledPattern;

std::vector<Offset3> ramp(std::size_t n) {
    std::vector<Offset3> samples(n, Offset3{0.0, 0.0, 0.0});
    for (std::size_t i = 0; i < n; ++i) {
        samples[i].x = static_cast<double>(i) / static_cast<double>(n);
    }
    return samples;
}

template <typename F>
std::string message_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(SampledPattern, MovedFromCannotBeSampledNorJoinALibrary) {
    SampledPattern source("wave", "a wave", ramp(4));
    SampledPattern target = std::move(source);
    EXPECT_EQ(target.sample(5).x, 0.25);

    EXPECT_THROW(static_cast<void>(source.sample(0)), std::logic_error);
    EXPECT_EQ(message_of([&] { static_cast<void>(source.sample(0)); }),
              "Cannot sample a moved-from pattern");
    // The library refuses it before looking at its (now empty) name.
    std::vector<SampledPattern> input{source};
    EXPECT_EQ(message_of([&] { PatternLibrary library(std::move(input)); }),
              "Empty/moved-from pattern");

    // A moved-from pattern may still be assigned to, and is whole again.
    source = target;
    EXPECT_EQ(source.sample(-1).x, 0.75);
}

TEST(SampledPattern, InfoViewsThePatternsOwnStrings) {
    SampledPattern pattern("sweep_3", "", {{0.0, 0.5, 0.0}, {0.0, 0.0, 0.0}});
    const kinetra::RudimentInfo info = pattern.info();
    EXPECT_EQ(info.name, "sweep_3");
    EXPECT_EQ(info.name.data(), pattern.name().data());
    EXPECT_TRUE(info.description.empty());
    EXPECT_EQ(info.period_pips, 2);
    EXPECT_EQ(info.dimensions, 2);
}

TEST(SampledPattern, PeriodMustFitSixteenBits) {
    SampledPattern longest("longest", "d", ramp(65535));
    EXPECT_EQ(longest.info().period_pips, 65535);
    EXPECT_EQ(longest.sample(-1).x, 65534.0 / 65535.0);
    EXPECT_EQ(message_of([] { SampledPattern p("too_long", "d", ramp(65536)); }),
              "A pattern requires 1..65535 samples (one per pip)");
}

TEST(PatternLibrary, CatalogueViewsTheLibrarysOwnPatterns) {
    PatternLibrary library({SampledPattern("mine", "my own", ramp(3))});
    const std::vector<kinetra::RudimentInfo> records = library.catalogue();
    ASSERT_FALSE(records.empty());
    const kinetra::RudimentInfo& last = records.back();
    EXPECT_EQ(last.name, "mine");
    EXPECT_EQ(last.description, "my own");
    EXPECT_EQ(last.period_pips, 3);
    // The record views storage that lives with the library, not the input.
    EXPECT_EQ(library.catalogue().back().name.data(), last.name.data());
}

TEST(PatternLibrary, FindResolvesOwnPatternsThenDefaults) {
    // An exact copy of bounce is dropped, so the patterns after it move up
    // one place: the index must follow them.
    std::vector<Offset3> bounce_rows;
    for (int pip = 0; pip < 64; ++pip) {
        bounce_rows.push_back(kinetra::bounce(pip));
    }
    PatternLibrary library({SampledPattern("first", "d", ramp(2)),
                            SampledPattern("bounce", std::string(kinetra::builtins[0].info.description), bounce_rows),
                            SampledPattern("second", "d", ramp(4)), SampledPattern("third", "d", ramp(8))});
    const char* own[] = {"first", "second", "third"};
    const double period[] = {2.0, 4.0, 8.0};
    for (std::size_t i = 0; i < 3; ++i) {
        const kinetra::PatternRef found = library.find(own[i]);
        ASSERT_TRUE(found) << own[i];
        ASSERT_NE(found.own, nullptr);
        EXPECT_EQ(found.own->name(), own[i]);
        ASSERT_EQ(found.own->samples().size(), static_cast<std::size_t>(period[i]));
        EXPECT_EQ(found.sample(-1).x, (period[i] - 1.0) / period[i]);
    }
    for (const char* name : {"bounce", "lfo_breathe"}) {
        const kinetra::PatternRef found = library.find(name);
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(found.own, nullptr);
        EXPECT_EQ(found.function, kinetra::find_default(name));
    }
    for (const char* name : {"", "firs", "first_", "thirD", "bounce_"}) {
        EXPECT_FALSE(library.find(name)) << name;
        EXPECT_EQ(message_of([&] { static_cast<void>(library.sample(name, 0)); }),
                  std::string("Unknown kinetra: ") + name);
    }
}

TEST(SampledRecording, RowViewsStorageWithoutCopying) {
    const kinetra::SampledRecording recording("take", {"x", "y"}, {{0.5, -0.5}, {1.0, -1.0}},
                                              120.0, 0.0, -1);
    const std::span<const double> first = recording.sample(-1);
    const std::span<const double> second = recording.sample(0);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1], -0.5);
    EXPECT_EQ(second.data(), first.data() + 2);
    EXPECT_THROW(static_cast<void>(recording.sample(1)), std::out_of_range);
}

TEST(SampledRecording, FlatRowsAreCheckedLikeNestedOnes) {
    using kinetra::FlatRows;
    using kinetra::SampledRecording;
    const auto build = [](FlatRows rows, std::vector<std::string> axes = {"x", "y"}) {
        return message_of([&] { SampledRecording r("take", std::move(axes), std::move(rows), 120.0); });
    };
    // Two rows of two, then a row of one: the values before it are checked first.
    EXPECT_EQ(build({{0.5, 0.5, 0.5, 2.0}, 3, 2, 2}), "Invalid sample");
    EXPECT_EQ(build({{0.5, 0.5, 0.5, 0.5}, 3, 2, 2}), "Ragged recording");
    // Rows one wide for two axes: ragged at the first row, values never read.
    EXPECT_EQ(build({{9.0, 9.0}, 2, 1, 2}), "Ragged recording");
    // Dropped values are fine when the sizes refuse the table first.
    EXPECT_EQ(build({{}, SampledRecording::MAX_VALUES + 1, 1, SampledRecording::MAX_VALUES + 1}, {"x"}),
              "Empty recording or recording resource limit exceeded");

    const SampledRecording taken("take", {"x"}, FlatRows{{0.25, -0.25}, 2, 1, 2}, 120.0);
    EXPECT_EQ(taken.sample(1)[0], -0.25);
}

TEST(SampledRecording, MalformedFlatRowsAreALogicErrorNeverARead) {
    using kinetra::FlatRows;
    const auto build = [](FlatRows rows) {
        kinetra::SampledRecording r("take", {"x", "y"}, std::move(rows), 120.0);
    };
    EXPECT_THROW(build({{0.5}, 2, 2, 2}), std::logic_error);         // values missing
    EXPECT_THROW(build({{0.5, 0.5, 0.5, 0.5, 0.5}, 2, 2, 2}), std::logic_error);  // values left over
    EXPECT_THROW(build({{0.5, 0.5}, 1, 2, 2}), std::logic_error);    // more uniform rows than rows
    EXPECT_THROW(build({{}, 2, 2, 2}), std::logic_error);            // dropped, yet the sizes pass
}

}  // namespace
