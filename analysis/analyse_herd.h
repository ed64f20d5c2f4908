#pragma once
// The analysis of one herd: completes every lactation with its derived dates, builds the
// herd's day-by-day histograms and its 37 rolling 12-month period summaries, rejects herds
// whose records cannot carry an analysis, and hands the most recent usable period to the
// calving-pattern stage, which fills the rest of the report and has the summary row written.
#include <cstdint>
#include <span>
#include <string>

#include "analysis/analysis_context.h"
#include "analysis/cow_lists.h"
#include "analysis/herd_report.h"
#include "herd/cow_record.h"
#include "herd/herd_list.h"
#include "herd/textutil.h"

namespace ovista {

// Message of the OvistaError thrown for an analysis date of 0.
inline constexpr const char* kZeroAnalysisDateMessage = "Analysis date must not be zero.";

// Analyses the herd as of analysisDate. The report is cleared and then filled; its Error is
// 1 (calvings bunched on too few days: batch-recorded), 2 (no period with enough calvings)
// or 3 (no period with enough information), or set by the later stages. The lactations of
// herd are trimmed to their culling dates and completed with their derived dates. Traces are
// appended to the trace files in workingFolder (none when it is empty). writeSummary writes
// the summary row when the analysis reaches it. cowLists, when given, is emptied and then
// filled with the herd's cow lists before writeSummary runs (a writer holding it can write
// them with the summary row); it stays not made when no summary row is reached.
// OvistaError(kZeroAnalysisDateMessage) for an analysis date of 0, before anything is
// touched; RangeError when a day count or count does not fit its 16 bits. Its messages go to
// services. extent: how much of the report is filled; the summary row is the same either way.
void AnalyseHerd(const std::string& herdNumber, Date analysisDate, const std::string& owner,
                 const std::string& address, HerdList& herd, HerdReport& report,
                 const std::string& workingFolder, const SummaryWriter& writeSummary,
                 UserServices& services = Services(), CowLists* cowLists = nullptr,
                 ReportExtent extent = ReportExtent::Whole);

// The same on a context the caller holds (its herd, report, analysis date and summary
// writer), so that its histograms and period summaries can be looked at afterwards.
void AnalyseHerd(AnalysisContext& context, const std::string& herdNumber, const std::string& owner,
                 const std::string& address, const std::string& workingFolder);

// False when an analysis as of analysisDate is bound to end before its period is analysed,
// without a summary row: periods 36 to 0 together (from the first day of the one to the last
// of the other) hold no more than 50 of the calvings (the herd's calving dates, any order),
// so none of them holds more. Leaving lactations out or trimming them cannot change that.
// True says only that the analysis may go on. RangeError as AnalysisPeriodBounds.
bool MayFindSufficientPeriod(std::span<const Date> calvings, Date analysisDate);

// Makes a lactation consistent with its culling date: a dry-off or next calving after it,
// and the services and pregnancy tests dated after it, are removed. Nothing changes for a
// lactation without a culling date.
void CullTrim(CowRecord& record);

// First and last day of period r (0..36): period 0 ends on the last day of the analysis
// date's month and starts one year before the first day of the following month; each
// further period ends one month earlier. A two-digit year of the analysis date reads as
// 2000 + year below 50, else 1900 + year. RangeError for a boundary outside the calendar.
struct PeriodBounds {
    Date start;
    Date end;
};
PeriodBounds AnalysisPeriodBounds(Date analysisDate, int r);

}  // namespace ovista
