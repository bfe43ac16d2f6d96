#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/lookup.hpp"
#include "core/pip.hpp"
#include "core/rudiments.hpp"
#include "packs/atlas.hpp"
#include "packs/expansion.hpp"
#include "packs/initial.hpp"
#include "packs/registry.hpp"

namespace {

bool same_bits(const kinetra::Offset3& a, const kinetra::Offset3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string_view name_at(std::uint64_t position) { return kinetra::pack_registry[position].info.name; }

TEST(PackIndex, IsAPermutationInStrictlyAscendingNameOrder) {
    std::vector<std::uint64_t> positions(kinetra::pack_name_index, kinetra::pack_name_index + kinetra::pack_count);
    for (std::size_t i = 1; i < positions.size(); ++i) {
        EXPECT_LT(name_at(positions[i - 1]), name_at(positions[i])) << "index slot " << i;
    }
    std::sort(positions.begin(), positions.end());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        ASSERT_EQ(positions[i], i);
    }
}

TEST(PackRegistry, EveryNameLeadsToItsOwnSampler) {
    for (const kinetra::PackEntry& entry : kinetra::pack_registry) {
        for (int pip : {0, 1, -1, 1000, INT_MIN, INT_MAX}) {
            EXPECT_TRUE(same_bits(kinetra::sample(entry.info.name, pip), entry.sampler(pip))) << entry.info.name;
        }
    }
}

TEST(PackNameSlots, HoldEveryRegistryPositionOnce) {
    std::vector<int> seen(kinetra::pack_count, 0);
    std::size_t longest = 0;
    for (const kinetra::NameSlot& slot : kinetra::pack_name_slots) {
        if (slot.position == kinetra::empty_position) {
            continue;
        }
        ASSERT_LT(slot.position, kinetra::pack_count);
        ++seen[slot.position];
        EXPECT_EQ(slot.tag, kinetra::name_tag(kinetra::name_hash(name_at(slot.position))));
    }
    for (std::size_t i = 0; i < kinetra::pack_count; ++i) {
        EXPECT_EQ(seen[i], 1) << name_at(i);
        longest = std::max(longest, name_at(i).size());
    }
    EXPECT_EQ(kinetra::pack_longest_name, longest);
}

TEST(PackRegistry, NoBuiltinNameIsInTheIndex) {
    for (const kinetra::Builtin& entry : kinetra::builtins) {
        const kinetra::RudimentInfo& builtin = entry.info;
        const auto* end = kinetra::pack_name_index + kinetra::pack_count;
        EXPECT_TRUE(std::none_of(kinetra::pack_name_index, end,
                                 [&](std::uint64_t position) { return name_at(position) == builtin.name; }))
            << builtin.name;
        EXPECT_EQ(kinetra::find_name(kinetra::pack_name_slots, builtin.name, kinetra::name_hash(builtin.name),
                                     name_at),
                  kinetra::not_found)
            << builtin.name;
    }
}

TEST(PackSamplers, WrapEveryPipIntoTheirPeriod) {
    for (const kinetra::PackEntry& entry : kinetra::pack_registry) {
        const int period = entry.info.period_pips;
        const auto row = [&](int r) { return entry.sampler(r); };
        EXPECT_TRUE(same_bits(entry.sampler(-1), row(period - 1))) << entry.info.name;
        EXPECT_TRUE(same_bits(entry.sampler(period), row(0))) << entry.info.name;
        for (int k : {-5, -1, 1, 7}) {
            for (int r : {0, 3, period - 1}) {
                EXPECT_TRUE(same_bits(entry.sampler(k * period + r), row(r))) << entry.info.name << " k=" << k;
            }
        }
        EXPECT_TRUE(same_bits(entry.sampler(INT_MIN), row(kinetra::wrap_pip(INT_MIN, period)))) << entry.info.name;
        EXPECT_TRUE(same_bits(entry.sampler(INT_MAX), row(kinetra::wrap_pip(INT_MAX, period)))) << entry.info.name;
    }
}

// A pack's own functions and tables, reached by name in its namespace.
template <std::size_t P>
void expect_pack_pattern(std::string_view name, const kinetra::Offset3 (&table)[P], kinetra::SampleFunction* sampler) {
    SCOPED_TRACE(std::string(name));
    const auto it = std::find_if(std::begin(kinetra::pack_registry), std::end(kinetra::pack_registry),
                                 [&](const kinetra::PackEntry& e) { return e.info.name == name; });
    ASSERT_NE(it, std::end(kinetra::pack_registry));
    EXPECT_EQ(it->sampler, sampler);
    EXPECT_EQ(it->info.period_pips, P);
    for (int pip : {0, 1, static_cast<int>(P) - 1, static_cast<int>(P), -1, -static_cast<int>(P) - 2}) {
        const kinetra::Offset3 expected = table[kinetra::wrap_pip(pip, P)];
        EXPECT_TRUE(same_bits(sampler(pip), expected)) << pip;
        EXPECT_TRUE(same_bits(kinetra::sample(name, pip), expected)) << pip;
    }
}

TEST(PackNamespaces, ExportTablesAndSamplersPerPattern) {
    expect_pack_pattern("lfo_breathe", kinetra_initial::table_lfo_breathe, kinetra_initial::sample_lfo_breathe);
    expect_pack_pattern("groove_b_grid", kinetra_initial::table_groove_b_grid, kinetra_initial::sample_groove_b_grid);
    expect_pack_pattern("rhythm_group_223", kinetra_expansion::table_rhythm_group_223,
                        kinetra_expansion::sample_rhythm_group_223);
    expect_pack_pattern("path_torus_knot", kinetra_expansion::table_path_torus_knot,
                        kinetra_expansion::sample_path_torus_knot);
    expect_pack_pattern("euclid_7_17", kinetra_atlas::table_euclid_7_17, kinetra_atlas::sample_euclid_7_17);
    expect_pack_pattern("meter_2_3_2_2", kinetra_atlas::table_meter_2_3_2_2, kinetra_atlas::sample_meter_2_3_2_2);
    EXPECT_EQ(kinetra_initial::table_lfo_breathe[1].x, 0.019632982818);
}

}  // namespace
