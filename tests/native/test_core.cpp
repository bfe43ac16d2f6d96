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
        const kinetra::RudimentInfo& info = kinetra::builtin_infos[i];
        for (int pip : {INT_MIN, -1, 0, 1, 1000, INT_MAX}) {
            EXPECT_TRUE(same_bits(kinetra::sample(info.name, pip), kinetra::builtin_samplers[i](pip))) << info.name;
        }
        // Extreme pips wrap like any other: INT_MIN and INT_MIN + period agree.
        const int period = info.period_pips;
        EXPECT_TRUE(same_bits(kinetra::builtin_samplers[i](INT_MIN), kinetra::builtin_samplers[i](INT_MIN + period)));
        EXPECT_TRUE(same_bits(kinetra::builtin_samplers[i](INT_MAX), kinetra::builtin_samplers[i](INT_MAX - period)));
    }
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
