#pragma once
// The result record of one herd analysis. It is filled by the analysis, written as a row of
// the summary file, read by the interpretation and the report pages, and exchanged as a
// stored file of exactly kHerdReportSize bytes (packed, little-endian). Field names are the
// column names of the summary file header.
#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "herd/textutil.h"

namespace ovista {

// Size of a stored record in bytes.
inline constexpr std::size_t kHerdReportSize = 2428;

// Longest texts a record holds; longer text is cut when stored.
inline constexpr std::size_t kOwnerMax = 40;
inline constexpr std::size_t kAddressMax = 250;
inline constexpr std::size_t kSHNOMax = 8;
inline constexpr std::size_t kTechMax = 12;

// Technician table: entries 0 to 9 are named technicians, entry 10 collects the
// inseminations without a technician until the table is ranked by Insems.
inline constexpr std::size_t kTechnicianCount = 11;
inline constexpr std::size_t kUnspecifiedTechnician = 10;

// Days of the conception-probability curve, day 1 first.
inline constexpr std::size_t kConceptionDays = 200;

// Herd-records cross check: five event groups of 14 counts (months 1 to 12 of the
// cross-check year, the year's total, and the total over the latest 12-month period).
inline constexpr std::size_t kCrossCheckGroups = 5;
inline constexpr std::size_t kCrossCheckCounts = 14;
enum CrossCheckGroup : std::size_t {
    kCrossCheckCalvings = 0,
    kCrossCheckAIMatings = 1,
    kCrossCheckEarlyPregTests = 2,
    kCrossCheckLatePregTests = 3,
    kCrossCheckCulledOrDied = 4,
};
inline constexpr std::size_t kCrossCheckYearTotal = 12;    // index of count 13
inline constexpr std::size_t kCrossCheckPeriodTotal = 13;  // index of count 14

// Day numbers in a stored-result file count from 1 January 0001 as day 1: the number of
// this program's calendar plus this offset.
inline constexpr Date kStoredDateOffset = 693594;

// Calving pattern codes (ActCalvingPattern, AnalysisCalvingPattern).
inline constexpr std::int16_t kSeasonalCalving = 1;
inline constexpr std::int16_t kSplitCalving = 2;
inline constexpr std::int16_t kYearRoundCalving = 3;

// Analysis basis codes (AnalType); any other value means no analysis is possible.
inline constexpr std::int16_t kBasisMatingRecords = 1;
inline constexpr std::int16_t kBasisEarlyPregTest = 2;
inline constexpr std::int16_t kBasisPregTest = 3;
inline constexpr std::int16_t kBasisRecalving = 4;

// Analysis error codes (Error).
inline constexpr std::int16_t kErrorNone = 0;
// More than 25% of the calvings read are implausible.
inline constexpr std::int16_t kErrorImplausibleCalvings = 1;
// No 12-month period with sufficient calvings, or the chosen period holds no calving.
inline constexpr std::int16_t kErrorNoCalvingPeriod = 2;
// No recalving, early-pregnancy-test, pregnancy-test or mating information suffices.
inline constexpr std::int16_t kErrorNoSufficientInformation = 3;
// No analysis basis is possible for the split or year-round analysis.
inline constexpr std::int16_t kErrorNoAnalysisBasis = 4;
// Seasonal herd: too few cows recalved to estimate the 6-week in-calf rate from calvings.
inline constexpr std::int16_t kErrorTooFewRecalved = 5;
// The estimated 100-day in-calf rate has no cows behind it.
inline constexpr std::int16_t kErrorNoEst100dCows = 6;
// Year-round herd: no cows calved, or none recalved, in the 382-day year.
inline constexpr std::int16_t kErrorNoYearRoundRecalving = 7;
// A recalving estimate was asked for a period without recalving information.
inline constexpr std::int16_t kErrorNoRecalvingPeriod = 8;
// Split herd: there is no recalving estimate for split calving.
inline constexpr std::int16_t kErrorSplitRecalving = 9;

// One AI technician's line of the technician table.
struct TechnicianEntry {
    std::string Tech;         // identifier, at most kTechMax characters
    std::int16_t Insems = 0;  // inseminations by this technician
    std::int16_t Pregs = 0;   // of those, inseminations that resulted in pregnancy

    bool operator==(const TechnicianEntry&) const = default;
};

// Counts are int16_t, days are Date (int32_t, 0 = no date), percentages are whole numbers
// (0 also means "not available"). Header names that are not identifiers lose their blank
// or take "_n" for a trailing "(n)": `Cdate MSD` -> CdateMSD, `PD MSD` -> PDMSD,
// `n 2yo` -> n2yo, `n Mature` -> nMature, `SR10d(n)` -> SR10d_n, and so on.
struct HerdReport {
    std::string Owner;    // at most kOwnerMax characters
    std::string Address;  // at most kAddressMax characters
    std::string SHNO;     // herd number, at most kSHNOMax characters
    std::int16_t Error = 0;
    Date ReportDate = 0;  // set to today by the summary writer
    std::int16_t ActCalvingPattern = 0;
    std::int16_t AnalysisCalvingPattern = 0;
    std::int16_t CowsAnalysed = 0;
    Date CalvingStart = 0;
    Date CalvingStop = 0;
    Date CdateMSD = 0;   // mating start estimated from calving dates
    Date PDMSD = 0;      // mating start estimated from pregnancy tests
    Date PrevPdMsd = 0;  // previous mating start from pregnancy tests; 0 when none
    std::int16_t Weekto80PC = 0;
    std::int16_t Clusters = 0;
    std::int16_t AnalType = 0;
    std::int16_t NRR = 0;
    std::int16_t NRRNo = 0;
    Date NRRSTart = 0;
    Date NRRStop = 0;
    std::int16_t CR = 0;
    std::int16_t CRNo = 0;
    Date CRSTart = 0;
    Date CRStop = 0;
    double Yield2yo = 0.0;     // litres, one decimal
    double YieldMature = 0.0;  // litres, one decimal
    std::int16_t n2yo = 0;
    std::int16_t nMature = 0;
    Date MSD = 0;
    Date EOMating = 0;
    Date EOAI = 0;
    std::int16_t SR10d = 0;
    std::int16_t SR10d_n = 0;
    std::int16_t SR3wk = 0;
    std::int16_t SR3wk_n = 0;
    std::int16_t ICR6wklow = 0;
    std::int16_t ICR6wkHigh = 0;
    std::int16_t ICR6wk = 0;
    std::int16_t ICR3wk = 0;
    std::int16_t ICR9wk = 0;
    std::int16_t ICR12wk = 0;
    std::int16_t ICR6wkCarryOvers = 0;  // never set by the analysis; kept for read-back rows
    std::int16_t NICR = 0;
    std::int16_t NICRLow = 0;   // pessimistic: higher end of the range
    std::int16_t NICRHigh = 0;  // optimistic: lower end of the range
    std::int16_t Calv3wk2yo = 0;
    std::int16_t Calv6wk2yo = 0;
    std::int16_t Tot2yo = 0;
    std::int16_t Calv3wk = 0;
    std::int16_t Calv6wk = 0;
    std::int16_t Calv9wk = 0;
    std::int16_t nCalved = 0;
    std::int16_t InducedPct = 0;
    std::int16_t Induced3wk = 0;
    std::int16_t Induced6wk = 0;
    std::int16_t Induced9wk = 0;
    std::int16_t SR3wkEarlyMature = 0;
    std::int16_t SR3wkEM_n = 0;
    std::int16_t SplitNICR = 0;
    std::int16_t SplitNICRLow = 0;   // optimistic: lower end
    std::int16_t SplitNICRHigh = 0;  // pessimistic: higher end
    std::int16_t VWP = 0;            // days; 0 = not estimated
    std::int16_t SR80d = 0;
    std::int16_t SR80d_n = 0;
    std::int16_t SR80dMature = 0;
    std::int16_t SR80dMature_n = 0;
    std::int16_t ICR100dLower = 0;
    std::int16_t ICR100dUPper = 0;
    std::int16_t ICR100d = 0;
    std::int16_t NICR200d = 0;      // year-round: % in calf by day 150
    std::int16_t NICR200dLow = 0;   // year-round: 200-day not-in-calf rate
    std::int16_t NICR200dHigh = 0;  // year-round: pessimistic, higher end
    std::int16_t nCalved130 = 0;    // year-round: optimistic 200-day rate, lower end
    std::int16_t Est100dN = 0;
    Date LastRecalving = 0;
    std::int16_t yrCalved382 = 0;
    std::int16_t yrReCalved382 = 0;
    std::int16_t HeatIntervals = 0;
    std::int16_t HeatIntervals1824 = 0;
    std::array<TechnicianEntry, kTechnicianCount> Technicians{};
    std::array<double, kConceptionDays> ConceptionByDay{};
    std::array<std::array<std::int16_t, kCrossCheckCounts>, kCrossCheckGroups> RecordsCrossCheck{};
    Date AnalysisDate = 0;
    Date CrossCheckStart = 0;

    bool operator==(const HerdReport&) const = default;
};

// Byte offsets of the stored layout, for callers and tests that look at raw records.
namespace herd_report_offset {
inline constexpr std::size_t kTechnicians = 493;
inline constexpr std::size_t kTechnicianEntrySize = 17;
inline constexpr std::size_t kConceptionByDay = 680;
inline constexpr std::size_t kRecordsCrossCheck = 2280;
inline constexpr std::size_t kAnalysisDate = 2420;
inline constexpr std::size_t kCrossCheckStart = 2424;
}  // namespace herd_report_offset

using HerdReportBytes = std::array<std::uint8_t, kHerdReportSize>;

// Sets every field to zero and every text to empty, as at the start of each herd.
void ClearHerdReport(HerdReport& report);

// The stored form: each field little-endian at its offset; texts as a length byte, the
// characters (cut to the field's maximum) and zero bytes up to the field's end.
HerdReportBytes StoreHerdReport(const HerdReport& report);

// Reads a stored record from up to kHerdReportSize bytes; bytes beyond `size` read as zero
// (a short file loads), bytes beyond kHerdReportSize are ignored. A length byte above its
// field's maximum is taken as the maximum, so a text never runs into the next field.
HerdReport LoadHerdReport(const std::uint8_t* data, std::size_t size);

// True when a report is drawn for the record: the analysis completed (Error 0), or a seasonal
// herd stopped with a code other than 1 to 4, which all mean no analysis basis was found.
bool IsReportPrintable(const HerdReport& report);

std::ostream& operator<<(std::ostream& out, const TechnicianEntry& entry);
// All fields by name, one per line; the conception curve and cross check only where non-zero.
std::ostream& operator<<(std::ostream& out, const HerdReport& report);
void PrintTo(const TechnicianEntry& entry, std::ostream* out);
void PrintTo(const HerdReport& report, std::ostream* out);

}  // namespace ovista
