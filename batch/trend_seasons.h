#pragma once
// Season trends ("TRENDS"): every analysed herd is analysed again as of the same day and month
// one to four years earlier, so that the farmer sees the herd season by season (page 3) and
// the centre gets the rows of those seasons (TRENDS.CSV). Each earlier analysis stands alone:
// it starts from the lactations as loaded, runs every rule of the analysis, the retry without
// mistyped years included, and its summary row is the one a batch line with that analysis
// date would give. It writes no trace and shows no message: the reader and the analysis of
// the report's own season have said what there is to say about the file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/analyse_herd.h"
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
static_assert(kEarlierSeasonCount <= 8, "a record's seasons are kept in the bits of a byte");

// The analysis date `years` earlier: the same day and month, 29 February taken as 28 February
// (so that every earlier season of a herd is analysed on the same day of the year).
// RangeError before the year 1.
Date EarlierAnalysisDate(Date analysisDate, int years);

// What the earlier seasons need of a herd as loaded, taken before the analysis of its own
// season trims and completes the records: the dates of its lactations, and the lactations
// themselves when a date of the herd is mistyped as of an earlier season (that season is
// analysed as a batch line would analyse it, from the lactations as loaded). The other
// seasons start from the lactations prepared (PreparedHerd), which the trimming leaves the same.
class LoadedHerd {
public:
    // analysisDate: that of the herd's own season. mayGiveRow: as RunSteps::mayGiveRow, asked
    // here of every earlier season while the calving dates are at hand (empty: every season may).
    LoadedHerd(const HerdList& herd, Date analysisDate,
               const std::function<bool(std::span<const Date>, Date)>& mayGiveRow = {});
    // True when the lactations are kept as loaded.
    bool KeepsLactations() const { return bytes_ != nullptr; }
    // Puts the records back into herd, the list they were taken from (its keys unchanged), as
    // they were loaded to the byte. Only when KeepsLactations.
    void RestoreInto(HerdList& herd) const;
    // Names in walk the lactations of herd an analysis as of analysisDate walks: all but those
    // that calve, are served, tested and conceive more than the counted future calvings after
    // it. Only for the date of one of the herd's earlier seasons (logic_error for another), of
    // which no date of the herd is mistyped: the dates left out then lie within
    // kMistypedYearDays of it. narrowing: walk holds those of a later date of the same herd,
    // among which they are.
    void WalkInto(HerdList& herd, Date analysisDate, LactationWalk& walk, bool narrowing = false) const;
    // True when a lactation holds a date more than kMistypedYearDays from analysisDate.
    bool HoldsMistypedYears(Date analysisDate) const { return dates_.HoldsMistyped(analysisDate); }
    // False when the season `years` before the herd's own is bound to give no row, as
    // mayGiveRow told it from the herd's calving dates.
    bool MayGiveRow(int years) const { return mayGiveRow_[static_cast<std::size_t>(years)]; }

private:
    // Each record and its slots in use, one after the other: no analysis changes which slots
    // a record uses, nor where they lie.
    std::unique_ptr<unsigned char[]> bytes_;
    // Of each record, the earlier seasons that walk it: bit years - 1 for the season that
    // many years back. A byte where its earliest date would take four.
    std::vector<std::uint8_t> walkedBy_;
    std::array<Date, kEarlierSeasonCount + 1> seasonDates_{};  // by years back; [0] unused
    std::array<bool, kEarlierSeasonCount + 1> hasSeason_{};    // false: no such date
    LactationDateSpan dates_;
    std::array<bool, kEarlierSeasonCount + 1> mayGiveRow_{};  // by years back; [0] unused
};

// What the earlier seasons of one herd gave.
struct EarlierSeasons {
    std::string trendLines;  // TRENDS.CSV rows with CR LF, the latest season first
    // The seasons a report page could be drawn for (IsReportPrintable), the latest first.
    std::vector<HerdReport> reports;
};

// Analyses herd (prepared, or put back as loaded, before each analysis, as far as it walks it:
// an earlier season leaves out the lactations that can change nothing of it) as of 1 to
// kEarlierSeasonCount years before analysisDate with the run's analysis step. prepared: as the
// analysis of the herd's own season took it, or not taken (then it is prepared here). A season
// whose analysis fails (an error, no summary row) is left out; one bound to fail so
// (steps.mayGiveRow) is not analysed at all. A stop signal ends the series where it is. Their
// messages are not shown; services pumps the messages meanwhile. herd is left as the last
// analysis left it.
EarlierSeasons AnalyseEarlierSeasons(const LoadedHerd& loaded, PreparedHerd& prepared, HerdList& herd,
                                     const std::string& herdNumber, Date analysisDate,
                                     const std::string& owner, const std::string& address,
                                     const RunSteps& steps, UserServices& services);

}  // namespace ovista
