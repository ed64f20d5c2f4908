#pragma once
// The headline figures of each calving system: what page 1 rates, the trend page follows
// season by season and the centre benchmark ranks. One table, so the three never disagree on
// a figure's name, its aim, its stars or which way is better.
#include <cstddef>
#include <span>
#include <string_view>

#include "interpret/ratings.h"

namespace ovista {

// The headline figures and, last, the voluntary waiting period the benchmark shows beside the
// in-calf rate. The order is that of the summary row's columns; tables indexed by figure
// (trend margins, benchmark values) follow it.
enum class HeadlineField { ICR6wk, NICR, SR3wk, CR, Calv6wk, ICR100d, NICR200d, SR80d, VWP };
inline constexpr std::size_t kHeadlineFields = 9;

// A headline figure of a calving system.
struct HeadlineFigure {
    HeadlineField field;
    std::string_view column;       // as the summary file names it: "ICR6wk"
    std::string_view title;        // as the pages name it: "6-week in-calf rate"
    bool higherIsWorse;            // the not-in-calf rates
    const RatingTarget* target;    // aim and stars; nullptr: the aim follows the weeks of
                                   // mating (NicrTarget)
};

// Seasonal and split herds: ICR6wk, NICR, SR3wk, CR, Calv6wk; year-round herds: ICR100d,
// NICR200d, SR80d, CR; none for any other code.
std::span<const HeadlineFigure> HeadlineFigures(int system);

}  // namespace ovista
