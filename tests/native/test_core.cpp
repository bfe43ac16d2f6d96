#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/lookup.hpp"
#include "core/name_index.hpp"
#include "core/pip.hpp"
#include "core/rudiments.hpp"

namespace {

TEST(WrapPip, MapsAnyPipIntoThePeriod) {
    struct Case {
        int pip;
        int period;
        int expected;
    };
    const Case cases[] = {
        {-1, 64, 63}, {-64, 64, 0}, {-65, 64, 63}, {-300, 256, 212}, {200, 256, 200},
        {INT_MIN, 64, 0}, {INT_MIN, 3, 1}, {INT_MAX, 128, 127}, {INT_MAX, INT_MAX, 0},
        {INT_MIN, INT_MAX, INT_MAX - 1}, {INT_MAX, 1, 0},
        // No division is attempted for an empty or negative period.
        {5, 0, 0}, {5, -3, 0}, {INT_MIN, -1, 0}, {INT_MIN, 0, 0}, {INT_MAX, INT_MIN, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kinetra::wrap_pip(c.pip, c.period), c.expected) << c.pip << " wrapped into " << c.period;
    }
}

TEST(WrapPip, IsUsableInConstantExpressions) {
    static_assert(kinetra::wrap_pip(-1, 64) == 63);
    static_assert(kinetra::PIPS_PER_BEAT == 64);
}

bool same_bits(const kinetra::Offset3& a, const kinetra::Offset3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Builtins, RecordsMatchTheirSamplersAndNativeLookup) {
    for (std::size_t i = 0; i < kinetra::builtin_count; ++i) {
        const kinetra::RudimentInfo& info = kinetra::builtins[i].info;
        kinetra::SampleFunction* const sampler = kinetra::builtins[i].sampler;
        EXPECT_EQ(kinetra::builtin_position(info.name), i);
        EXPECT_EQ(kinetra::find_default_record(info.name), &kinetra::catalogue()[i]);
        for (int pip : {INT_MIN, -1, 0, 1, 1000, INT_MAX}) {
            EXPECT_TRUE(same_bits(kinetra::sample(info.name, pip), sampler(pip))) << info.name;
        }
        // Extreme pips wrap like any other: INT_MIN and INT_MIN + period agree.
        const int period = info.period_pips;
        EXPECT_TRUE(same_bits(sampler(INT_MIN), sampler(INT_MIN + period)));
        EXPECT_TRUE(same_bits(sampler(INT_MAX), sampler(INT_MAX - period)));
    }
}

TEST(Builtins, PositionNeedsTheWholeNameAndWorksAtCompileTime) {
    static_assert(kinetra::builtin_position("bounce") == 0);
    static_assert(kinetra::builtin_position("five_stroke_roll") == 14);
    static_assert(kinetra::builtin_position("") == kinetra::no_builtin);
    for (std::string_view name : {"", "Bounce", "bounce ", "bounc", "flam_",
                                  "multiple_bounce_roll_and_more_than_sixty_four_bytes_of_name_here"}) {
        EXPECT_EQ(kinetra::builtin_position(name), kinetra::no_builtin) << name;
    }
    EXPECT_EQ(kinetra::builtin_position(std::string_view("drag\0", 5)), kinetra::no_builtin);
}

TEST(Catalogue, IsBuiltOnceAndStartsWithTheBuiltins) {
    const auto& first = kinetra::catalogue();
    EXPECT_EQ(&first, &kinetra::catalogue());
    ASSERT_GE(first.size(), kinetra::builtin_count);
    EXPECT_EQ(first.front().name, "bounce");
    EXPECT_EQ(first[14].name, "five_stroke_roll");
}

TEST(Lookup, UnknownNamesAreEscapedOnlyWhereNotUtf8) {
    const auto message = [](std::string_view name) {
        try {
            kinetra::sample(name, 0);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("<no error>");
    };
    EXPECT_EQ(message(""), "Unknown kinetra: ");
    EXPECT_EQ(message("Bounce"), "Unknown kinetra: Bounce");
    EXPECT_EQ(message("caf\xc3\xa9 \xe2\x80\x93"), "Unknown kinetra: caf\xc3\xa9 \xe2\x80\x93");
    EXPECT_EQ(message("a\xff" "b"), "Unknown kinetra: a\\xffb");
    EXPECT_EQ(message(std::string_view("a\0b", 3)), "Unknown kinetra: a\\x00b");
    EXPECT_EQ(message("\xc3"), "Unknown kinetra: \\xc3");              // truncated sequence
    EXPECT_EQ(message("\xc0\xaf"), "Unknown kinetra: \\xc0\\xaf");     // overlong
    EXPECT_EQ(message("\xed\xa0\x80"), "Unknown kinetra: \\xed\\xa0\\x80");  // surrogate
}

// The hash is the same in constant evaluation and at run time (the pack
// index is built by the compiler and probed at run time), whatever the
// length's branch: empty, 1-3, 4-7, exactly 8, and longer with an
// overlapping last word.
constexpr std::uint64_t compile_time_hashes[] = {
    kinetra::name_hash(""), kinetra::name_hash("a"), kinetra::name_hash("abc"),
    kinetra::name_hash("flam"), kinetra::name_hash("box_ste"), kinetra::name_hash("box_step"),
    kinetra::name_hash("meter_2_3_2_2"), kinetra::name_hash("beat_reggae_one_drop_glide_xy"),
};

TEST(NameIndex, HashIsTheSameAtCompileAndRunTime) {
    const char* names[] = {"", "a", "abc", "flam", "box_ste", "box_step", "meter_2_3_2_2",
                           "beat_reggae_one_drop_glide_xy"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        // Through a heap copy, so the run-time loads read unaligned memory of its own.
        const std::string copy = std::string("#") + names[i];
        EXPECT_EQ(kinetra::name_hash(std::string_view(copy).substr(1)), compile_time_hashes[i])
            << names[i];
    }
}

// Names that meet in one slot with the same tag are told apart by the whole
// name, and probing runs on past them, wrapping around the end of the array.
TEST(NameIndex, CollidingNamesAreToldApartByTheirBytes) {
    constexpr std::size_t slot_count = 4;
    // Three names whose hashes agree in the tag and the slot bits.
    std::vector<std::string> names;
    const std::uint64_t wanted = kinetra::name_hash("n0");
    const auto key = [](std::uint64_t h) { return (h >> 48) << 2 | (h & (slot_count - 1)); };
    for (int i = 0; names.size() < 3; ++i) {
        std::string name = "n" + std::to_string(i);
        if (key(kinetra::name_hash(name)) == key(wanted)) {
            names.push_back(name);
        }
    }
    std::vector<kinetra::NameSlot> slots(slot_count, kinetra::NameSlot{0, kinetra::empty_position});
    const auto name_at = [&](std::size_t position) { return std::string_view(names[position]); };
    for (std::uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(kinetra::insert_name(slots, names[i], i, name_at), kinetra::not_found);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(kinetra::find_name(slots, names[i], kinetra::name_hash(names[i]), name_at), i);
        // A second insertion of the name finds the first.
        EXPECT_EQ(kinetra::insert_name(slots, names[i], 3, name_at), i);
    }
    const std::string other = "n";
    EXPECT_EQ(kinetra::find_name(slots, other, kinetra::name_hash(other), name_at), kinetra::not_found);
    // A wanted name with the same hash as a stored one but other bytes: a miss.
    EXPECT_EQ(kinetra::find_name(slots, "zz", kinetra::name_hash(names[2]), name_at), kinetra::not_found);
}

TEST(Lookup, FindDefaultResolvesOnceForRepeatedSampling) {
    const auto& records = kinetra::catalogue();
    for (const std::size_t i : {std::size_t{0}, std::size_t{7}, std::size_t{14}, std::size_t{15},
                                records.size() - 1}) {
        const kinetra::RudimentInfo& record = records[i];
        kinetra::SampleFunction* found = kinetra::find_default(record.name);
        ASSERT_NE(found, nullptr) << record.name;
        EXPECT_EQ(found, kinetra::find_default(record.name, kinetra::name_hash(record.name)));
        for (int pip : {INT_MIN, -1, 0, 70, INT_MAX}) {
            EXPECT_TRUE(same_bits(found(pip), kinetra::sample(record.name, pip))) << record.name;
        }
        EXPECT_EQ(kinetra::find_default_record(record.name), &record);
    }
    for (std::string_view unknown : {std::string_view(""), std::string_view("Bounce"),
                                     std::string_view("lfo_breath"), std::string_view("lfo_breathe\0", 12),
                                     std::string_view("flam_")}) {
        EXPECT_EQ(kinetra::find_default(unknown), nullptr) << unknown;
        EXPECT_EQ(kinetra::find_default_record(unknown), nullptr) << unknown;
    }
    const std::string long_name(100000, 'a');
    EXPECT_EQ(kinetra::find_default(long_name), nullptr);
    EXPECT_THROW(kinetra::throw_unknown("x"), std::invalid_argument);
}

}  // namespace

TEST(PipWrap, AgreesWithWrapPip) {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<int> periods = {INT_MIN, -1, 0, 1, 2, 3, 7, 64, 255, 256, 65535, 65536, 1000003,
                                INT_MAX - 1, INT_MAX};
    for (int k = 0; k < 200; ++k) {
        periods.push_back(static_cast<int>(next() % 70000) + 1);
        periods.push_back(static_cast<int>(next() >> 33));
    }
    for (int period : periods) {
        const kinetra::PipWrap wrap(period);
        std::vector<int> pips = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};
        if (period > 0) {
            pips.insert(pips.end(), {-period, period - 1, period});
        }
        for (int k = 0; k < 2000; ++k) {
            pips.push_back(static_cast<int>(static_cast<std::uint32_t>(next())));
        }
        for (int pip : pips) {
            ASSERT_EQ(wrap(pip), kinetra::wrap_pip(pip, period)) << pip << " mod " << period;
        }
    }
    static_assert(kinetra::PipWrap(64)(-1) == 63);
}

TEST(Lookup, DefaultSamplerIsTheLookupOfSample) {
    for (const kinetra::RudimentInfo& info : kinetra::catalogue()) {
        kinetra::SampleFunction* sampler = kinetra::default_sampler(info.name);
        for (int pip : {INT_MIN, -1, 0, 1, 1000, INT_MAX}) {
            ASSERT_TRUE(same_bits(sampler(pip), kinetra::sample(info.name, pip))) << info.name;
        }
    }
    for (std::string_view name : {std::string_view(""), std::string_view("Bounce"), std::string_view("a\xff")}) {
        std::string expected;
        try {
            kinetra::sample(name, 0);
        } catch (const std::invalid_argument& e) {
            expected = e.what();
        }
        try {
            kinetra::default_sampler(name);
            ADD_FAILURE() << "no error for " << name;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), expected);
        }
    }
}
