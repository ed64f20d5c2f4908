#pragma once
// The analysis of one herd: completes every lactation with its derived dates, builds the
// herd's day-by-day histograms and its 37 rolling 12-month period summaries, rejects herds
// whose records cannot carry an analysis, and hands the most recent usable period to the
// calving-pattern stage, which fills the rest of the report and has the summary row written.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

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

// What a lactation adds to each 12-month period that holds its calving.
// In two bytes: a TRENDS run keeps one for each lactation of the herd (PreparedLactation).
struct PeriodCounts {
    bool culledEarly : 1 = false;   // culled at most 200 days after calving
    bool culledInYear : 1 = false;  // culled at most 365 days after calving
    bool recalved : 1 = false;
    bool mated : 1 = false;
    bool tested : 1 = false;
    std::uint8_t tests : 3 = 0;  // tests with a date
    std::uint8_t early : 3 = 0;  // of them, at most 17 weeks pregnant
};
static_assert(kPregTestSlots <= 7, "a lactation's tests are counted in three bits");

// What the driver's walk counts of a lactation whatever the analysis date, in 12 bytes.
struct PreparedLactation {
    Date calved = 0;
    Date conception = 0;  // ConceptionDate when conceived
    // Its services with a sire within 200 days of calving, read in place order through
    // PreparedHerd::ServicesInOrder: they follow those of the lactations before it.
    std::uint8_t services = 0;
    bool heifer : 1 = false;     // a two-year-old: an expected calving is not counted
    bool conceived : 1 = false;  // a pregnancy test within 250 days of calving dates a conception
    PeriodCounts counts;
};
static_assert(sizeof(PreparedLactation) == 12);

// The lactations of a herd as the first walk of every analysis leaves them, whatever its date
// when no date of the herd is mistyped as of it: trimmed to their culling (CullTrim), their
// service and conception dates derived, the working fields of the later passes as loaded
// (zero); and what that walk counts of each. The earlier seasons of a herd start from these
// rather than from a copy of the lactations as loaded, and their walks count without going
// through the slots again.
class PreparedHerd {
public:
    // Trims and completes every lactation of herd in place, as loaded or as analyses left it
    // (both give the same), and takes what the walk counts of each.
    void Prepare(HerdList& herd);
    // True once taken, by Prepare or by the walk of an analysis of the whole herd asked to
    // (ReportExtent::prepare) that placed every calving; the working fields are then those
    // that analysis left.
    bool Taken() const { return taken_; }
    // Puts back as loaded what the passes after the driver write into a lactation: the
    // working fields and the services' conception-rate marks.
    static void ClearWorkingFields(CowRecord& lactation);

    // The lactation at place (from 0) in the herd list.
    const PreparedLactation& At(std::size_t place) const { return lactations_[place]; }
    // The counted services of lactations asked for in place order (each place after the one
    // before): where a lactation's services begin is not kept, so that a herd's tens of
    // thousands of lactations take four bytes less each.
    class ServicesInOrder {
    public:
        explicit ServicesInOrder(const PreparedHerd& herd) : herd_(herd) {}
        std::span<const Date> At(std::size_t place) {
            if (place < next_) throw std::logic_error("prepared services asked for out of place order");
            for (; next_ < place; ++next_) first_ += herd_.lactations_[next_].services;
            const std::uint8_t count = herd_.lactations_[place].services;
            const std::span<const Date> dates{herd_.serviceDates_.data() + first_, count};
            first_ += count;
            next_ = place + 1;
            return dates;
        }

    private:
        const PreparedHerd& herd_;
        std::size_t next_ = 0;   // the next place whose services begin at first_
        std::size_t first_ = 0;
    };
    // CrossCheckMayOverflow of the herd.
    bool CrossCheckMayOverflow() const { return crossCheckMayOverflow_; }

    // For the driver's walk over every lactation of the herd in list order: it starts again,
    // adds each lactation (its counted services first, after ServiceDates' end), and finishes.
    void Restart(std::size_t lactations);
    std::vector<Date>& ServiceDates() { return serviceDates_; }
    void Add(const PreparedLactation& lactation) { lactations_.push_back(lactation); }
    void Finish(bool crossCheckMayOverflow) {
        crossCheckMayOverflow_ = crossCheckMayOverflow;
        taken_ = true;
    }

private:
    std::vector<PreparedLactation> lactations_;
    std::vector<Date> serviceDates_;
    bool crossCheckMayOverflow_ = false;
    bool taken_ = false;
};

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
