#pragma once
// Season trends ("TRENDS"): every analysed herd is analysed again as of the same day and month
// one to four years earlier, so that the farmer sees the herd season by season (page 3) and
// the centre gets the rows of those seasons (TRENDS.CSV). Each earlier analysis stands alone:
// it starts from the lactations as loaded, runs every rule of the analysis, the retry without
// mistyped years included, and its summary row is the one a batch line with that analysis
// date would give. It writes no trace and shows no message: the reader and the analysis of
// the report's own season have said what there is to say about the file.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_context.h"
#include "analysis/herd_report.h"
#include "analysis/mistyped_years.h"
#include "batch/runs.h"
#include "herd/cow_record.h"
#include "herd/herd_list.h"
#include "herd/textutil.h"

namespace ovista {

// The summary rows of the earlier seasons, beside TAMSLREP.CSV.
inline constexpr const char* kTrendsFileName = "TRENDS.CSV";
// Earlier seasons analysed: the analysis date moved back 1 to this many years.
inline constexpr int kEarlierSeasonCount = 4;

// The analysis date `years` earlier: the same day and month, 29 February taken as 28 February
// (so that every earlier season of a herd is analysed on the same day of the year).
// RangeError before the year 1.
Date EarlierAnalysisDate(Date analysisDate, int years);

// The lactations of a herd as loaded. The analysis trims and completes the records it walks,
// so a herd is put back as loaded before each further analysis.
class LoadedHerd {
public:
    explicit LoadedHerd(const HerdList& herd);
    // Puts the records back into herd, the list they were taken from (its keys unchanged), as
    // they were loaded to the byte.
    void RestoreInto(HerdList& herd) const;
    // The same for the lactations an analysis as of analysisDate walks, named in walk: all but
    // those that calve, are served, tested and conceive more than the counted future calvings
    // after it. Only for a date of which no date of the herd is mistyped: the dates left out
    // then lie within kMistypedYearDays of it.
    void RestoreWalkInto(HerdList& herd, Date analysisDate, LactationWalk& walk) const;
    // True when a lactation holds a date more than kMistypedYearDays from analysisDate.
    bool HoldsMistypedYears(Date analysisDate) const { return dates_.HoldsMistyped(analysisDate); }
    // The calving dates of the lactations: what tells a season bound to give nothing.
    const std::vector<Date>& Calvings() const { return calvings_; }

private:
    // Each record up to its last service slot in use, one after the other: the slots after it
    // are empty as loaded, and no analysis fills them, so they need no copy either way.
    std::unique_ptr<unsigned char[]> bytes_;
    std::vector<std::size_t> offsets_;  // of each record in bytes_
    std::vector<Date> earliest_;        // EarliestDate of each record
    LactationDateSpan dates_;
    std::vector<Date> calvings_;
};

// What the earlier seasons of one herd gave.
struct EarlierSeasons {
    std::string trendLines;  // TRENDS.CSV rows with CR LF, the latest season first
    // The seasons a report page could be drawn for (IsReportPrintable), the latest first.
    std::vector<HerdReport> reports;
};

// Analyses herd (put back from loaded before each analysis, as far as it walks it: an earlier
// season leaves out the lactations that can change nothing of it) as of 1 to kEarlierSeasonCount
// years before analysisDate with the run's analysis step. A season whose analysis fails (an
// error, no summary row) is left out; one bound to fail so (steps.mayGiveRow) is not
// analysed at all. A stop signal ends the series where it is. Their messages are not shown;
// services pumps the messages meanwhile. herd is left as the last analysis left it.
EarlierSeasons AnalyseEarlierSeasons(const LoadedHerd& loaded, HerdList& herd,
                                     const std::string& herdNumber, Date analysisDate,
                                     const std::string& owner, const std::string& address,
                                     const RunSteps& steps, UserServices& services);

}  // namespace ovista
