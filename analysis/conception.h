#pragma once
// Conception probabilities by survival analysis: each lactation of the mated group gives the
// day on which she conceived, or the day from which nothing more is known of her (censored),
// under a central, an optimistic and a pessimistic reading of her records. Product-limit life
// tables then give the cumulative share of the group in calf by each day (CPreg), from which
// the in-calf and not-in-calf rates are read.
#include "analysis/analysis_context.h"

namespace ovista {

// Sets, for every lactation, the days and conception flags of the three estimates (counted
// from the MSD, or from calving in year-round herds; for split herds also from the previous
// mating start) and the conception-rate marks of its services. Fills in a missing end of
// mating or of AI first (MSD + 147 when nothing better is known).
void ComputeConceptionTimes(AnalysisContext& context);

// Completes rows 1..rows of a life table from Start of row 1 and Preg and Cens of every row:
// cows at risk, daily share not conceiving (0 on rows with no cow at risk, never divided by),
// survival and cumulative share conceived. RangeError when rows is outside 1..700.
void ComputeLifeTable(LifeTable& table, int rows);

// Fills the main, year 200-day and (split herds) previous-period tables from the lactations,
// copies the central curve into ConceptionByDay of the report, and writes the tables to the
// trace and each lactation's days to the detail trace.
void BuildConceptionTables(AnalysisContext& context);

// Reads the in-calf and not-in-calf rates into the report: for seasonal and split herds the
// 3-, 6-, 9- and 12-week in-calf rates (early pregnancy test basis only) and the not-in-calf
// rate at the end of mating (day 147 at most); for year-round herds the 100-day in-calf rate
// and the 200-day not-in-calf rates. Percentages rounded half to even.
void ReadTableRates(AnalysisContext& context, const LifeTable& central,
                    const LifeTable& optimistic, const LifeTable& pessimistic,
                    const LifeTable& yearCentral, const LifeTable& yearOptimistic,
                    const LifeTable& yearPessimistic);
// The same on the context's own main and year 200-day tables.
void ReadTableRates(AnalysisContext& context);

// Split herds on a pregnancy-test basis: the not-in-calf rate over both mating periods, read
// from the previous-period tables at the current end of mating (day 700 at most).
void ReadSplitNICR(AnalysisContext& context, const LifeTable& central,
                   const LifeTable& optimistic, const LifeTable& pessimistic);
// The same on the context's own previous-period tables.
void ReadSplitNICR(AnalysisContext& context);

}  // namespace ovista
