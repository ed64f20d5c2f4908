#include "interpret/trends.h"

#include <algorithm>
#include <string_view>
#include <cstdint>
#include <cstdlib>

#include "herd/textutil.h"
#include "interpret/benchmark.h"
#include "interpret/facts_block.h"
#include "interpret/interpretation.h"
#include "interpret/ratings.h"
#include "interpret/report_dates.h"

namespace ovista {
namespace {

constexpr int kFigureCount = 8;
constexpr int kLevelCount = 4;
constexpr int kDifferentLevels = kLevelCount;  // column of two seasons of different levels

// Margins in points by figure (HeadlineField order) and level of analysis (AnalType 1 mating
// records, 2 early pregnancy tests, 3 pregnancy tests, 4 recalvings, then two seasons of
// different levels); 0 where no change was measured. The table "Margins of the trend page" in
// docs/ACCURACY.md; a test holds the two the same.
constexpr int kMargins[kFigureCount][kLevelCount + 1] = {
    {13, 7, 0, 13, 0},  // Icr6wk
    {0, 5, 10, 0, 0},   // Nicr
    {4, 4, 0, 0, 0},    // Sr3wk
    {0, 3, 0, 0, 0},    // Cr
    {2, 6, 12, 16, 0},  // Calv6wk
    {5, 6, 7, 7, 12},   // Icr100d
    {0, 6, 8, 0, 0},    // Nicr200d
    {3, 3, 0, 0, 4},    // Sr80d
};

bool IsYearRound(int system) { return system == kYearRoundCalving; }
bool IsKnownSystem(int system) { return system >= kSeasonalCalving && system <= kYearRoundCalving; }

// The headline figure of a system's table (an unknown system reads as seasonal); nullptr for
// a figure the system does not have.
const HeadlineFigure* FigureOfSystem(HeadlineField figure, int system) {
    for (const HeadlineFigure& f : HeadlineFigures(IsYearRound(system) ? kYearRoundCalving : kSeasonalCalving)) {
        if (f.field == figure) return &f;
    }
    return nullptr;
}

std::string Percent(int value) { return IntToText(value) + "%"; }

// The records a figure needs that a level of analysis (AnalType) goes without; nullptr when
// the level has them.
const char* MissingRecords(HeadlineField figure, int analType) {
    const bool matings = analType == kBasisMatingRecords || analType == kBasisEarlyPregTest;
    const bool tests = analType == kBasisEarlyPregTest || analType == kBasisPregTest;
    switch (figure) {
        case HeadlineField::SR3wk:
        case HeadlineField::SR80d: return matings ? nullptr : "mating records";
        case HeadlineField::NICR:
        case HeadlineField::NICR200d: return tests ? nullptr : "pregnancy-test records";
        case HeadlineField::CR:
            return !matings ? "mating records" : !tests ? "pregnancy-test records" : nullptr;
        default: return nullptr;
    }
}

// "Not given: needs mating records" when no season gives the row's figure and every season
// it belongs to lacks the same records for it; else empty.
std::string NotGivenText(const TrendRow& row, const std::vector<int>& levels) {
    const char* missing = nullptr;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        const TrendValue& v = row.values[i];
        if (!v.applies) continue;
        const char* lacking = MissingRecords(row.figure, levels[i]);
        if (v.value != 0 || lacking == nullptr) return {};
        if (missing != nullptr && std::string_view(missing) != lacking) return {};
        missing = lacking;
    }
    return missing != nullptr ? std::string("Not given: needs ") + missing : std::string();
}

// The figure of one season as page 1 writes it: a value only where page 1 gives one, with
// page 1's aim and rating.
TrendValue ValueOf(HeadlineField figure, const HerdReport& r) {
    TrendValue v;
    const int system = r.ActCalvingPattern;
    const HeadlineFigure* headline = FigureOfSystem(figure, system);
    if (headline == nullptr) return v;
    v.applies = true;
    const bool earlyPd = r.AnalType == kBasisEarlyPregTest;
    const bool tested = earlyPd || r.AnalType == kBasisPregTest;
    const int weeks = MatingWeeks(r);
    switch (figure) {
        case HeadlineField::ICR6wk:
            v.value = r.ICR6wk;
            break;
        case HeadlineField::NICR:
            v.value = tested ? r.NICR : 0;
            v.aim = NicrTarget(weeks);
            v.stars = StarCountLow(v.value, NicrAverage(weeks), NicrTop(weeks));
            break;
        case HeadlineField::SR3wk:
            v.value = r.SR3wk;
            break;
        case HeadlineField::CR:
            v.value = r.CRNo > 50 && earlyPd ? r.CR : 0;
            break;
        case HeadlineField::Calv6wk:
            v.value = r.Calv6wk;
            break;
        case HeadlineField::ICR100d:
            v.value = r.ICR100d;
            break;
        case HeadlineField::NICR200d:
            v.value = tested ? r.NICR200dLow : 0;
            break;
        case HeadlineField::SR80d:
            v.value = r.SR80d;
            break;
        case HeadlineField::VWP: break;
    }
    const RatingTarget* target = headline->target;  // all but the not-in-calf rate
    if (target != nullptr) {
        v.aim = target->aim;
        v.stars = target->Stars(v.value);
    }
    if (v.value == 0) v.stars = 0;
    if (v.value != 0) v.text = Percent(v.value);
    return v;
}

const char* SystemWords(int system) {
    return IsYearRound(system) ? "year-round calving" : "seasonal or split calving";
}

std::pair<Date, Date> SeasonWindow(const HerdReport& r) {
    return r.MSD == 0 ? CalvingWindow(r, kYearRoundCalving) : CalvingWindow(r, r.ActCalvingPattern);
}

// Two analyses of one season: an earlier analysis date can find the same calving season
// (an analysis on recalvings looks at the season before last), or a 12-month window that
// mostly overlaps. Their calving windows share more than half of the shorter one.
bool SameSeason(const HerdReport& a, const HerdReport& b) {
    const auto [a1, a2] = SeasonWindow(a);
    const auto [b1, b2] = SeasonWindow(b);
    const std::int64_t shared = std::int64_t{std::min(a2, b2)} - std::max(a1, b1) + 1;
    const std::int64_t shorter = std::min(std::int64_t{a2} - a1, std::int64_t{b2} - b1) + 1;
    return shared > 0 && 2 * shared > shorter;
}

TrendSeason SeasonOf(const HerdReport& r) {
    TrendSeason s;
    s.label = SeasonLabel(r);
    const auto [first, last] = SeasonWindow(r);
    s.calvedFrom = DateText(first);
    s.calvedTo = DateText(last);
    // A record of no known system (a damaged stored result) is headed as a seasonal one.
    s.system = CalvingSystemName(IsKnownSystem(r.ActCalvingPattern) ? r.ActCalvingPattern : kSeasonalCalving);
    s.level = AnalysisLevelName(r.AnalType);
    s.cows = IntToText(r.CowsAnalysed);
    s.calvingSystem = r.ActCalvingPattern;
    return s;
}

std::string Points(int change) {
    const int points = std::abs(change);
    return IntToText(points) + (points == 1 ? " point" : " points");
}

// The sentence of a row: the report's season (the last) against the latest earlier season
// of its line with the figure given; when that is about the same, against the oldest one, so
// that a slow drift over several seasons is still told.
void Describe(TrendRow& row, const std::vector<TrendSeason>& seasons, const std::vector<int>& levels) {
    const std::size_t last = seasons.size() - 1;
    const TrendValue& now = row.values[last];
    if (!now.applies) {
        row.sentence = std::string("Only in seasons analysed as ") +
                       (IsYearRound(seasons[last].calvingSystem) ? "seasonal or split calving" : "year-round calving");
        return;
    }
    if (now.value == 0) {
        row.sentence = "Not given this season";
        return;
    }
    std::size_t lineStart = last;
    while (lineStart > 0 && !seasons[lineStart].newLine) --lineStart;
    std::vector<std::size_t> given;  // earlier seasons of the line with the figure, latest first
    for (std::size_t i = last; i-- > lineStart;) {
        if (row.values[i].value != 0) given.push_back(i);
    }
    if (given.empty()) {
        row.sentence = lineStart == last ? std::string("First season analysed as ") + SystemWords(seasons[last].calvingSystem)
                                         : std::string("Not given in earlier seasons");
        return;
    }
    const auto since = [&](std::size_t i) {
        return i + 1 == last ? std::string("last season") : seasons[i].label;
    };
    const auto differs = [&](std::size_t i) {
        const int change = now.value - row.values[i].value;
        return std::abs(change) >= TrendMargin(row.figure, levels[i], levels[last]);
    };
    std::size_t against = given.front();
    if (!differs(against) && differs(given.back())) against = given.back();
    const int change = now.value - row.values[against].value;
    if (!differs(against)) {
        row.sentence = "About the same as " + (against + 1 == last ? std::string("last season") : "in " + seasons[against].label);
        row.change = TrendChange::Same;
        return;
    }
    row.sentence = (change > 0 ? "Up " : "Down ") + Points(change) + " since " + since(against);
    row.change = (change < 0) == row.lowerIsBetter ? TrendChange::Better : TrendChange::Worse;
}

}  // namespace

int MeasuredTrendMargin(HeadlineField figure, int column) {
    const int f = static_cast<int>(figure);
    if (f < 0 || f >= kFigureCount || column < 0 || column > kLevelCount) return 0;
    return kMargins[f][column];
}

int TrendMargin(HeadlineField figure, int analType) {
    const int f = static_cast<int>(figure);
    if (f < 0 || f >= kFigureCount) return 0;
    const int* margins = kMargins[f];
    const int largest = *std::max_element(margins, margins + kLevelCount + 1);
    if (analType < 1 || analType > kLevelCount) return largest;
    const int margin = margins[analType - 1];
    return margin != 0 ? margin : largest;
}

int TrendMargin(HeadlineField figure, int analTypeA, int analTypeB) {
    if (analTypeA == analTypeB) return TrendMargin(figure, analTypeA);
    const int f = static_cast<int>(figure);
    const int measured = f >= 0 && f < kFigureCount ? kMargins[f][kDifferentLevels] : 0;
    return std::max({measured, TrendMargin(figure, analTypeA), TrendMargin(figure, analTypeB)});
}

std::string SeasonLabel(const HerdReport& report) {
    const auto [first, last] = SeasonWindow(report);
    const int y1 = DateYear(first);
    const int y2 = DateYear(last);
    if (y1 == y2) return IntToText(y1);
    const int yy = y2 % 100;
    return IntToText(y1) + "/" + (yy < 10 ? "0" : "") + IntToText(yy);
}

TrendPage InterpretTrends(const HerdReport& report, const std::vector<HerdReport>& earlierSeasons) {
    TrendPage page;
    std::vector<const HerdReport*> records;  // latest first, then turned round
    records.push_back(&report);
    for (const HerdReport& earlier : earlierSeasons) {
        if (records.size() == kTrendSeasonsMost) break;
        const bool seen = std::any_of(records.begin(), records.end(), [&](const HerdReport* later) {
            return SameSeason(earlier, *later);
        });
        if (IsKnownSystem(earlier.ActCalvingPattern) && !seen) records.push_back(&earlier);
    }
    std::reverse(records.begin(), records.end());
    std::vector<int> levels;
    for (std::size_t i = 0; i < records.size(); ++i) {
        TrendSeason season = SeasonOf(*records[i]);
        season.newLine = i > 0 && records[i]->ActCalvingPattern != records[i - 1]->ActCalvingPattern;
        page.seasons.push_back(std::move(season));
        levels.push_back(records[i]->AnalType);
    }
    if (records.size() == 1) page.note = "Earlier seasons could not be analysed from this herd file.";

    // The report's own figures first, then those of the other calving systems that earlier
    // seasons were analysed under.
    const bool yearRound = IsYearRound(report.ActCalvingPattern);
    const std::span<const HeadlineFigure> seasonal = HeadlineFigures(kSeasonalCalving);
    const std::span<const HeadlineFigure> allYear = HeadlineFigures(kYearRoundCalving);
    std::vector<HeadlineFigure> rules(yearRound ? allYear.begin() : seasonal.begin(),
                                      yearRound ? allYear.end() : seasonal.end());
    const bool otherSystem = std::any_of(records.begin(), records.end(), [&](const HerdReport* r) {
        return IsYearRound(r->ActCalvingPattern) != yearRound;
    });
    if (otherSystem) {
        for (const HeadlineFigure& rule : yearRound ? seasonal : allYear) {
            if (rule.field != HeadlineField::CR) rules.push_back(rule);
        }
    }
    for (const HeadlineFigure& rule : rules) {
        TrendRow row;
        row.figure = rule.field;
        row.name = std::string(rule.title);
        row.lowerIsBetter = rule.higherIsWorse;
        for (const HerdReport* r : records) row.values.push_back(ValueOf(rule.field, *r));
        // The aim of the latest season the figure belongs to.
        const auto latest = std::find_if(row.values.rbegin(), row.values.rend(),
                                         [](const TrendValue& v) { return v.applies; });
        if (latest != row.values.rend()) {
            row.aimText = (rule.higherIsWorse ? "Aim below " : "Aim above ") + Percent(latest->aim);
        }
        if (records.size() > 1) Describe(row, page.seasons, levels);
        row.notGiven = NotGivenText(row, levels);
        page.rows.push_back(std::move(row));
    }
    // The figures with values first: they take the room.
    std::stable_partition(page.rows.begin(), page.rows.end(),
                          [](const TrendRow& row) { return row.notGiven.empty(); });
    return page;
}

}  // namespace ovista
