#include "interpret/benchmark.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovista {
namespace {

TEST(Benchmark, PercentilesRoundHalvesToEvenAndALoneHerdGets50) {
    struct Row {
        int worse, equalOthers, compared, percentile, quartile;
        const char* why;
    };
    const Row rows[] = {
        {0, 0, 1, 50, 2, "compared alone"},
        {0, 1, 2, 50, 2, "two herds with the same value"},
        {1, 0, 2, 100, 1, "the better of two"},
        {0, 0, 2, 0, 4, "the worse of two"},
        {1, 0, 9, 12, 4, "12.5 rounds down to the even 12"},
        {3, 0, 9, 38, 3, "37.5 rounds up to the even 38"},
        {2, 1, 9, 31, 3, "31.25: half of one equal herd counts"},
        {0, 2, 5, 25, 3, "25 exactly is the third quarter"},
        {2, 0, 9, 25, 3, "25 exactly"},
        {1, 1, 9, 19, 4, "18.75"},
        {6, 0, 9, 75, 1, "75 exactly is the best quarter"},
        {5, 1, 9, 69, 2, "68.75"},
        {4, 0, 9, 50, 2, "50 exactly is the second quarter"},
        {3, 1, 9, 44, 3, "43.75"},
        {8, 0, 9, 100, 1, "the best of nine"},
        {0, 8, 9, 50, 2, "nine herds with one value"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Percentile(row.worse, row.equalOthers, row.compared), row.percentile) << row.why;
        EXPECT_EQ(Quartile(row.percentile), row.quartile) << row.why;
    }
    EXPECT_EQ(Quartile(74), 2);
    EXPECT_EQ(Quartile(49), 3);
    EXPECT_EQ(Quartile(24), 4);
}

BenchmarkHerd Herd(const std::string& number, int system, std::vector<std::pair<HeadlineField, int>> values,
                   int matingWeeks = 21) {
    BenchmarkHerd herd;
    herd.herdNumber = number;
    herd.system = system;
    herd.matingWeeks = matingWeeks;
    for (const auto& [field, value] : values) herd.values[static_cast<std::size_t>(field)] = static_cast<std::int16_t>(value);
    return herd;
}

TEST(Benchmark, HerdsAreComparedWithinTheirCalvingSystemAmongTheGivenValues) {
    using F = HeadlineField;
    const std::vector<BenchmarkHerd> herds = {
        Herd("A", 1, {{F::ICR6wk, 60}, {F::NICR, 10}}),
        Herd("B", 1, {{F::ICR6wk, 60}, {F::NICR, 20}}),
        Herd("C", 1, {{F::ICR6wk, 0}, {F::NICR, 20}}),
        Herd("D", 1, {{F::ICR6wk, 40}, {F::NICR, 0}}),
        Herd("E", 1, {{F::ICR6wk, 70}, {F::NICR, 5}}),
        Herd("S", 2, {{F::ICR6wk, 30}}),                  // the only split herd
        Herd("Y", 3, {{F::ICR100d, 50}, {F::CR, 45}}),    // year-round: its own figures
        Herd("N", 0, {{F::ICR6wk, 55}}),                  // no calving system: no lines
    };
    const std::vector<BenchmarkLine> lines = BenchmarkLines(herds);
    ASSERT_EQ(lines.size(), 5u * 6 + 4);
    struct Expected {
        std::size_t line;
        const char* herd;
        const char* column;
        int value, compared, percentile, quartile;
    };
    const Expected expected[] = {
        {0, "A", "ICR6wk", 60, 4, 50, 2},   // one worse, one the same: (1 + 0.5) / 3
        {1, "A", "NICR", 10, 4, 67, 2},     // lower is better: two worse of three
        {5, "B", "ICR6wk", 60, 4, 50, 2},
        {6, "B", "NICR", 20, 4, 17, 4},     // none worse, one the same: 0.5 / 3
        {10, "C", "ICR6wk", 0, 4, -1, 0},   // not given: compared, but no standing
        {16, "D", "NICR", 0, 4, -1, 0},
        {15, "D", "ICR6wk", 40, 4, 0, 4},
        {20, "E", "ICR6wk", 70, 4, 100, 1},
        {21, "E", "NICR", 5, 4, 100, 1},
        {23, "E", "CR", 0, 0, -1, 0},       // no seasonal herd has a conception rate
        {25, "S", "ICR6wk", 30, 1, 50, 2},  // alone among split herds
        {30, "Y", "ICR100d", 50, 1, 50, 2},
        {31, "Y", "NICR200d", 0, 0, -1, 0},
        {33, "Y", "CR", 45, 1, 50, 2},
    };
    for (const Expected& e : expected) {
        const BenchmarkLine& line = lines[e.line];
        EXPECT_EQ(herds[line.herd].herdNumber, e.herd) << e.line;
        EXPECT_EQ(line.figure->column, e.column) << e.line;
        EXPECT_EQ(line.value, e.value) << e.line;
        EXPECT_EQ(line.compared, e.compared) << e.line;
        EXPECT_EQ(line.percentile, e.percentile) << e.line;
        EXPECT_EQ(line.quartile, e.quartile) << e.line;
    }
}

TEST(Benchmark, TheAimIsTheOneTheReportsPrint) {
    using F = HeadlineField;
    const BenchmarkHerd shortMating = Herd("A", 1, {}, 9);   // not-in-calf aim 20
    const BenchmarkHerd longMating = Herd("B", 1, {}, 21);   // aim 8
    const BenchmarkHerd* one[] = {&shortMating, &shortMating, &longMating};
    EXPECT_EQ(HeadlineAim(1, F::NICR, one), 20);
    const BenchmarkHerd* tie[] = {&shortMating, &longMating};
    EXPECT_EQ(HeadlineAim(1, F::NICR, tie), 8) << "the lower aim where two are printed as often";
    EXPECT_EQ(HeadlineAim(1, F::CR, tie), 53);
    EXPECT_EQ(HeadlineAim(3, F::CR, tie), 51);
    EXPECT_EQ(HeadlineAim(3, F::NICR200d, {}), 13);
}

}  // namespace
}  // namespace ovista
