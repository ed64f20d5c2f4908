#pragma once
// The calving-pattern stage: from the 12-month period the driver chose, how the herd calves
// (seasonal, split or year-round), when mating started, and the analysis by calving system,
// the records cross check and the summary row that follow from it.
#include <cstdint>

#include "analysis/analysis_context.h"
#include "herd/herd_list.h"
#include "herd/textutil.h"

namespace ovista {

// Analyses the herd over period (0..36) of context.PeriodSummaries: classifies the calving
// pattern, runs the analysis of that calving system, ranks the technician table, counts the
// records cross check and hands the report to the context's summary writer. Returns false,
// with Error 2 and no summary row, when the period holds no calving; true when the stage
// reached the summary row (written when the context has a writer). RangeError when a count
// or a date does not fit.
bool AnalysePeriod(AnalysisContext& context, std::int16_t period);

// Classifies the calvings of the reference window (context.ReferenceFrom down to
// context.ReferenceTo, weeks counted from report.CalvingStart): weekly pattern, Weekto80PC,
// cluster map and Clusters, the pattern (ActCalvingPattern and AnalysisCalvingPattern,
// left 0 when no week of the period holds 1% of its calvings), Cdate MSD, PD MSD and, for
// split herds, PrevPdMsd. Returns false and sets Error 2 when the period holds no calving.
bool ClassifyCalvingPattern(AnalysisContext& context);

// Whether a count of the records cross check could pass 16 bits: an earlier season counts it
// then, so that its range error stays.
bool CrossCheckMayOverflow(const HerdList& herd);

// Month of a within a year that begins in b's month: 1 for b's own month, up to 12.
int MonthsBetween(Date a, Date b);

}  // namespace ovista
