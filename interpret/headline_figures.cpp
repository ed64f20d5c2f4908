#include "interpret/headline_figures.h"

#include <array>

#include "analysis/herd_report.h"

namespace ovista {
namespace {

using F = HeadlineField;

constexpr std::array<HeadlineFigure, 5> kSeasonalFigures = {{
    {F::ICR6wk, "ICR6wk", "6-week in-calf rate", false, &kIcr6wkTarget},
    {F::NICR, "NICR", "Not-in-calf rate", true, nullptr},
    {F::SR3wk, "SR3wk", "3-week submission rate", false, &kSr3wkTarget},
    {F::CR, "CR", "Conception rate", false, &kCrSeasonalTarget},
    {F::Calv6wk, "Calv6wk", "Herd calved by week 6", false, &kCalv6wkTarget},
}};

constexpr std::array<HeadlineFigure, 4> kYearRoundFigures = {{
    {F::ICR100d, "ICR100d", "100-day in-calf rate", false, &kIcr100dTarget},
    {F::NICR200d, "NICR200d", "200-day not-in-calf rate", true, &kNicr200dTarget},
    {F::SR80d, "SR80d", "80-day submission rate", false, &kSr80dTarget},
    {F::CR, "CR", "Conception rate", false, &kCrYearRoundTarget},
}};

}  // namespace

std::span<const HeadlineFigure> HeadlineFigures(int system) {
    if (system == kSeasonalCalving || system == kSplitCalving) return kSeasonalFigures;
    if (system == kYearRoundCalving) return kYearRoundFigures;
    return {};
}

}  // namespace ovista
