#include "batch/trend_seasons.h"

#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>

#include "analysis/calving_pattern.h"
#include "analysis/mistyped_years.h"
#include "analysis/prepared_calendar.h"
#include "batch/stop_signals.h"
#include "formats/summary_file.h"
#include "herd/services.h"

namespace ovista {
namespace {

// Messages of the analysis go nowhere; the message pump still runs.
class QuietServices : public UserServices {
public:
    explicit QuietServices(UserServices& outer) : outer_(outer) {}
    QuietServices(const QuietServices&) = delete;
    QuietServices& operator=(const QuietServices&) = delete;

    void ShowInfo(const std::string&) override {}
    std::unique_ptr<StatusWindow> ShowStatus(const std::string&) override {
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override { outer_.PumpMessages(); }

private:
    UserServices& outer_;
};

}  // namespace

Date EarlierAnalysisDate(Date analysisDate, int years) {
    const CalendarDate date = DecodeDate(analysisDate);
    const Date sameDay = date.month == 2 && date.day == 29 ? analysisDate - 1 : analysisDate;
    return AddYears(sameDay, -years);
}

namespace {

// A record's own bytes; its slots in use follow them in the copy.
constexpr std::size_t kRecordBytes = sizeof(CowRecord);

}  // namespace

LoadedHerd::LoadedHerd(const HerdList& herd, Date analysisDate,
                       const std::function<bool(std::span<const Date>, Date)>& mayGiveRow) {
    // The calving dates are asked about once a season, here: not held while the seasons
    // are analysed, when the herd's memory peaks.
    std::vector<Date> calvings;
    calvings.reserve(static_cast<std::size_t>(herd.Count()));
    // A season walks the lactations with a date before the last of its counted future
    // calvings.
    std::array<std::int64_t, kEarlierSeasonCount + 1> walkedBefore{};
    for (int years = 1; years <= kEarlierSeasonCount; ++years) {
        try {
            const Date date = EarlierAnalysisDate(analysisDate, years);
            seasonDates_[static_cast<std::size_t>(years)] = date;
            hasSeason_[static_cast<std::size_t>(years)] = true;
            walkedBefore[static_cast<std::size_t>(years)] = std::int64_t{date} + kFutureCalvingDays + 1;
        } catch (const std::exception&) {
            // no such season: none walks
        }
    }
    walkedBy_.reserve(static_cast<std::size_t>(herd.Count()));
    for (int index = 1; index <= herd.Count(); ++index) {
        const CowRecord& record = herd.RecordAt(index);
        const Date earliest = dates_.Add(record);
        std::uint8_t seasons = 0;
        for (int years = 1; years <= kEarlierSeasonCount; ++years) {
            const auto at = static_cast<std::size_t>(years);
            if (hasSeason_[at] && earliest < walkedBefore[at]) seasons |= static_cast<std::uint8_t>(1u << (years - 1));
        }
        walkedBy_.push_back(seasons);
        if (record.Calved != 0) calvings.push_back(record.Calved);
    }
    for (int years = 1; years <= kEarlierSeasonCount; ++years) {
        const auto at = static_cast<std::size_t>(years);
        try {
            mayGiveRow_[at] = hasSeason_[at] && (!mayGiveRow || mayGiveRow(calvings, seasonDates_[at]));
        } catch (const std::exception&) {
            mayGiveRow_[at] = false;  // a season whose periods cannot be dated gives no row
        }
    }
    bool keep = false;
    for (int years = 1; years <= kEarlierSeasonCount && !keep; ++years) {
        const auto at = static_cast<std::size_t>(years);
        keep = hasSeason_[at] && HoldsMistypedYears(seasonDates_[at]);
    }
    if (!keep) return;
    std::size_t size = 0;
    for (int index = 1; index <= herd.Count(); ++index) size += kRecordBytes + herd.RecordAt(index).SlotBytes();
    bytes_ = std::make_unique_for_overwrite<unsigned char[]>(size);
    unsigned char* to = bytes_.get();
    for (int index = 1; index <= herd.Count(); ++index) {
        const CowRecord& record = herd.RecordAt(index);
        std::memcpy(to, static_cast<const void*>(&record), kRecordBytes);
        to += kRecordBytes;
        const std::size_t slotBytes = record.SlotBytes();
        std::memcpy(to, record.ServiceSlots(), slotBytes);
        to += slotBytes;
    }
}

void LoadedHerd::RestoreInto(HerdList& herd) const {
    if (!bytes_) throw std::logic_error("the lactations as loaded are not kept");
    const unsigned char* from = bytes_.get();
    for (int index = 1; index <= herd.Count(); ++index) {
        CowRecord& record = herd.RecordAt(index);
        // Where its slots lie is the same: the analysis moves no record's slots.
        std::memcpy(static_cast<void*>(&record), from, kRecordBytes);
        from += kRecordBytes;
        const std::size_t slotBytes = record.SlotBytes();
        std::memcpy(record.ServiceSlots(), from, slotBytes);
        from += slotBytes;
    }
}

void LoadedHerd::WalkInto(HerdList& herd, Date analysisDate, LactationWalk& walk, bool narrowing) const {
    // After every window of the analysis that counts a lactation outside the mating group;
    // kMistypedYearDays - kFutureCalvingDays apart, within 16 bits.
    const std::int64_t from = std::int64_t{analysisDate} + kFutureCalvingDays + 1;
    std::uint8_t season = 0;  // its bit in walkedBy_
    for (int years = 1; years <= kEarlierSeasonCount && season == 0; ++years) {
        const auto at = static_cast<std::size_t>(years);
        if (hasSeason_[at] && seasonDates_[at] == analysisDate) season = static_cast<std::uint8_t>(1u << (years - 1));
    }
    if (season == 0) throw std::logic_error("a walk for a date that is none of the herd's seasons");
    if (narrowing && from <= walk.leftOutFrom) {
        // The lactations an earlier date walks are among those of the later one.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < walk.places.size(); ++i) {
            if ((walkedBy_[walk.places[i]] & season) == 0) continue;
            walk.lactations[kept] = walk.lactations[i];
            walk.places[kept] = walk.places[i];
            ++kept;
        }
        walk.lactations.resize(kept);
        walk.places.resize(kept);
    } else {
        walk.lactations.clear();
        walk.places.clear();
        walk.lactations.reserve(static_cast<std::size_t>(herd.Count()));
        walk.places.reserve(static_cast<std::size_t>(herd.Count()));
        for (int index = 1; index <= herd.Count(); ++index) {
            const auto place = static_cast<std::size_t>(index - 1);
            if ((walkedBy_[place] & season) == 0) continue;
            walk.lactations.push_back(&herd.RecordAt(index));
            walk.places.push_back(static_cast<std::uint32_t>(place));
        }
    }
    walk.leftOutFrom = static_cast<Date>(from);
    walk.leftOutTo = static_cast<Date>(std::int64_t{analysisDate} + kMistypedYearDays);
    walk.datesFrom = dates_.EarliestWithConceptions();
    walk.datesTo = dates_.Latest();
}

namespace {

void ClearWorkingFields(const std::vector<CowRecord*>& lactations) {
    for (CowRecord* lactation : lactations) PreparedHerd::ClearWorkingFields(*lactation);
}

void ClearWorkingFields(HerdList& herd) {
    for (int index = 1; index <= herd.Count(); ++index) PreparedHerd::ClearWorkingFields(herd.RecordAt(index));
}

}  // namespace

EarlierSeasons AnalyseEarlierSeasons(const LoadedHerd& loaded, PreparedHerd& prepared, HerdList& herd,
                                     const std::string& herdNumber, Date analysisDate,
                                     const std::string& owner, const std::string& address,
                                     const RunSteps& steps, UserServices& services) {
    EarlierSeasons seasons;
    QuietServices quiet(services);
    LactationWalk walk;
    bool fresh = prepared.Taken();  // as the walk of the herd's own season took it
    bool cleared = false;  // no analysis has written the working fields since it was prepared
    bool walked = false;   // walk holds the lactations of a season
    // The prepared herd laid out by date for the seasons' dates, once it is first prepared.
    PreparedCalendar calendar;
    bool laidOut = false;
    Date firstDate = 0;
    Date lastDate = 0;
    bool anyDate = false;
    for (int years = kEarlierSeasonCount; years >= 1; --years) {
        try {
            const Date date = EarlierAnalysisDate(analysisDate, years);
            if (!anyDate) firstDate = date;
            anyDate = true;
            lastDate = date;
        } catch (const std::exception&) {
            // no such season
        }
    }
    for (int years = 1; years <= kEarlierSeasonCount && StopSignal() == 0; ++years) {
        HerdReport report;
        ClearHerdReport(report);
        std::string row;
        try {
            const Date date = EarlierAnalysisDate(analysisDate, years);
            // A herd file reaching back fewer years than the series: spare the analysis.
            if (!loaded.MayGiveRow(years)) continue;
            // As a batch line with this date: the last attempt's row is the herd's.
            auto attempt = [&](HerdList& lactations, const LactationWalk* walked, const PreparedHerd* from) {
                row.clear();
                // The row alone: the conception lines and cow lists are of the current season only.
                const SummaryWriter writer = [&row](HerdReport& analysed) { row = SummaryRowLine(analysed); };
                steps.analyse(herdNumber, date, owner, address, lactations, report, {}, writer, quiet, nullptr,
                              ReportExtent(ReportExtent::SummaryRow, walked, from, nullptr,
                                           from != nullptr && calendar.Taken() ? &calendar : nullptr));
            };
            if (loaded.HoldsMistypedYears(date)) {
                loaded.RestoreInto(herd);
                fresh = false;
                AnalyseLeavingOutMistypedYears(
                    herd, date, {}, {}, [&](HerdList& lactations) { attempt(lactations, nullptr, nullptr); }, quiet);
            } else {
                if (!fresh) {
                    prepared.Prepare(herd);
                    fresh = true;
                    cleared = true;
                }
                if (!laidOut && anyDate) {
                    // Prepare gives the same lactations again: laid out once.
                    laidOut = true;
                    calendar.Take(prepared, static_cast<std::size_t>(herd.Count()), firstDate, lastDate);
                }
                if (prepared.CrossCheckMayOverflow()) {
                    // A season that counts the records cross check walks the whole herd for it.
                    if (!cleared) ClearWorkingFields(herd);
                    cleared = false;
                    attempt(herd, nullptr, &prepared);  // nothing to leave out: the retry's own first step
                } else {
                    // Nothing to leave out for the retry either. The lactations that calve long after
                    // the season's date are not walked, nor those outside the mating groups by the
                    // passes after the calving pattern, unless the analysis cannot show that they
                    // would change nothing.
                    loaded.WalkInto(herd, date, walk, walked);
                    walked = true;
                    if (!cleared) ClearWorkingFields(walk.lactations);
                    cleared = false;
                    try {
                        attempt(herd, &walk, &prepared);
                    } catch (const LeftOutMayMatter&) {
                        ClearWorkingFields(herd);
                        attempt(herd, nullptr, &prepared);
                    }
                }
            }
        } catch (const std::exception&) {
            continue;  // no row, as the batch line would get none
        }
        seasons.trendLines += row;
        if (!row.empty() && IsReportPrintable(report)) seasons.reports.push_back(std::move(report));
    }
    return seasons;
}

}  // namespace ovista
