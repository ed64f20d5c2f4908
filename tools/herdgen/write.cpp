// Herd CSV text, the true figures of each mating group, the manifest and batch lines.
#include <algorithm>
#include <string>
#include <vector>

#include "tools/herdgen/herdgen_lib.h"
#include "tools/herdgen/random.h"

namespace ovista::herdgen {
namespace {

constexpr int kServiceSlots = 14;
constexpr int kTestSlots = 6;
constexpr int kColumns = 11 + 4 * kServiceSlots + 2 * kTestSlots;  // 79

// Layout choices of one file; all of them load to the same herd.
struct FileStyle {
    bool crlf = false;
    bool blankLines = false;
    bool repeatedHeadings = false;
    bool lowerCase = false;          // "cowid" heading, "Farmer ID"
    bool dashesForMissing = false;   // "--/--/----" for a date not known
    int dateMode = 0;                // 0 dd/mm/yyyy, 1 dd-mm-yy, 2 dd.mm.yy, 3 any of these per date
};

// A messy file has every oddity at once; only its date form varies.
FileStyle DrawStyle(Rng& rng, bool messy) {
    FileStyle style;
    if (!messy) return style;
    style.crlf = true;
    style.blankLines = true;
    style.repeatedHeadings = true;
    style.lowerCase = true;
    style.dashesForMissing = true;
    style.dateMode = rng.Int(1, 3);
    return style;
}

std::string HeadingRow(bool lowerCase) {
    std::string row = "CowID,Calved,Induced,Dryoff,NextCalve,NextInduce,ETCow,Culled,Age,Days,Litres";
    for (int k = 0; k < kServiceSlots; ++k) row += ",HS date,AI,Sire,Tech";
    for (int k = 0; k < kTestSlots; ++k) row += ",PD Date,Weeks";
    if (lowerCase) {
        std::transform(row.begin(), row.end(), row.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    }
    return row;
}

class RowWriter {
public:
    RowWriter(const FileStyle& style, Rng& rng) : style_(style), rng_(rng) {}

    std::string Date(Day day) {
        if (day == 0) return style_.dashesForMissing ? "--/--/----" : "";
        int mode = style_.dateMode == 3 ? rng_.Int(0, 2) : style_.dateMode;
        return FormatDate(day, mode == 1 ? DateStyle::Dash2 : (mode == 2 ? DateStyle::Dot2 : DateStyle::Slash4));
    }

private:
    const FileStyle& style_;
    Rng& rng_;
};

std::string InducedText(int style, bool induced) {
    static const char* const kYes[] = {"I", "TRUE", "1"};
    static const char* const kNo[] = {"", "FALSE", "0"};
    return induced ? kYes[style] : kNo[style];
}

std::string Fixed1(double value) {
    const long tenths = static_cast<long>(value * 10.0 + (value < 0 ? -0.5 : 0.5));
    const long whole = tenths / 10;
    const long frac = tenths % 10 < 0 ? -(tenths % 10) : tenths % 10;
    return (tenths < 0 && whole == 0 ? "-0" : std::to_string(whole)) + "." + std::to_string(frac);
}

std::string Percent(double value) { return value < 0 ? "" : Fixed1(value); }

std::string Litres(const SimulatedHerd& herd, const Lactation& l, int days) {
    const double ageFactor = l.age == 2 ? 0.8 : (l.age == 3 ? 0.9 : (l.age >= 10 ? 0.93 : 1.0));
    const double d = std::min(days, 550);
    const double litres = herd.params.dailyYield * l.yieldFactor * ageFactor * (d - 0.00085 * d * d);
    if (herd.params.litresDecimal) return Fixed1(litres);
    return std::to_string(static_cast<long>(litres + 0.5));
}

}  // namespace

HerdFile WriteHerdFile(const SimulatedHerd& herd) {
    const Day a = herd.request.analysisDate;
    Rng rng(StreamSeed(herd.request.seed, static_cast<std::uint64_t>(herd.request.index), 2));
    const FileStyle style = DrawStyle(rng, herd.request.messy);
    RowWriter row(style, rng);
    const std::string eol = style.crlf ? "\r\n" : "\n";
    const std::string heading = HeadingRow(style.lowerCase);

    HerdFile file;
    std::string& out = file.text;
    out += style.lowerCase ? "Farmer ID" : "FARMER ID";
    out += "," + herd.herdNumber + ",\"" + herd.owner + "\",\"" + herd.address + "\"," + FormatDate(a) + eol;
    out += heading + eol;
    int nextHeading = rng.Int(60, 200);

    std::vector<std::string> f(kColumns);
    for (const Cow& cow : herd.cowList) {
        for (int index : cow.lactations) {
            const Lactation& l = herd.lactations[static_cast<std::size_t>(index)];
            if (l.calved < herd.historyStart || l.calved > a) continue;
            const Day culled = l.culled && l.culled <= a ? l.culled : 0;
            const Day next = l.nextCalve && l.nextCalve <= a ? l.nextCalve : 0;
            const Day dry = l.dryoff && l.dryoff <= a ? l.dryoff : 0;
            const Day left = l.culled ? l.culled : a;  // records end when she leaves the herd
            std::fill(f.begin(), f.end(), std::string());
            f[0] = cow.id;
            f[1] = row.Date(l.calved);
            f[2] = InducedText(herd.params.inducedStyle, l.induced != 0);
            f[3] = row.Date(dry);
            f[4] = row.Date(next);
            f[5] = next ? InducedText(herd.params.inducedStyle, l.nextInduced != 0) : "";
            f[7] = row.Date(culled);
            if (l.ageRecorded) f[8] = std::to_string(l.age);
            if (herd.params.milkRecorded) {
                const int days = (dry ? dry : (culled ? culled : a)) - l.calved;
                f[9] = std::to_string(days);
                f[10] = Litres(herd, l, days);
            }
            int slot = 0;
            for (const Service& s : l.services) {
                if (!s.recorded || s.date > a || s.date > left || slot == kServiceSlots) continue;
                const int c = 11 + 4 * slot++;
                f[c] = row.Date(s.date);
                f[c + 1] = s.kind == ServiceKind::AI ? "TRUE" : "FALSE";
                f[c + 2] = s.sire;
                f[c + 3] = s.tech;
            }
            for (; slot < kServiceSlots; ++slot) f[11 + 4 * slot] = row.Date(0);
            int test = 0;
            for (const PregTest& t : l.tests) {
                if (t.date > a || t.date > left || test == kTestSlots) continue;
                const int c = 67 + 2 * test++;
                f[c] = row.Date(t.date);
                f[c + 1] = std::to_string(t.weeks);
            }
            for (; test < kTestSlots; ++test) f[67 + 2 * test] = row.Date(0);

            for (int c = 0; c < kColumns; ++c) {
                if (c) out += ',';
                out += f[c];
            }
            out += eol;
            ++file.lactationRows;
            if (style.blankLines && rng.Chance(0.01)) out += (rng.Chance(0.5) ? "" : ",,,,") + eol;
            if (style.repeatedHeadings && --nextHeading == 0) {
                out += heading + eol;
                nextHeading = rng.Int(60, 200);
            }
        }
    }
    return file;
}

std::vector<TruthRow> TrueFigures(const SimulatedHerd& herd) {
    const Day a = herd.request.analysisDate;
    std::vector<TruthRow> rows;
    auto observedCull = [a](const Lactation& l) { return l.culled && l.culled <= a ? l.culled : 0; };
    auto ratio = [](int n, int d) { return d > 0 ? 100.0 * n / d : -1.0; };
    // The first service (AI or bull) of a lactation; 0 when none.
    auto firstService = [](const Lactation& l) {
        for (const Service& sv : l.services) {
            if (sv.kind != ServiceKind::Heat) return sv.date;
        }
        return Day{0};
    };

    if (herd.request.pattern == Pattern::YearRound) {
        for (int back = 0;; ++back) {
            TruthRow row;
            row.season = "12m" + std::to_string(back);
            // Twelve whole months, as the analysis takes its periods (366 days over a 29 February).
            row.groupTo = EndOfMonthBefore(a, back);
            row.groupFrom = EndOfMonthBefore(a, back + 12) + 1;
            if (row.groupFrom < herd.simulationStart) break;
            row.recorded = row.groupFrom >= herd.historyStart;
            int inCalf100 = 0, notInCalf200 = 0, served80 = 0, services = 0, conceptions = 0;
            for (const Lactation& l : herd.lactations) {
                if (l.calved < row.groupFrom || l.calved > row.groupTo || l.calved > a) continue;
                const Day culled = observedCull(l);
                if (culled && culled < l.calved + 50) continue;
                ++row.groupCows;
                if (l.inCalf && l.inCalf - l.calved <= 100) ++inCalf100;
                if (!l.inCalf || l.inCalf - l.calved > 200) ++notInCalf200;
                const Day first = firstService(l);
                if (first && first - l.calved <= 80) ++served80;
                for (const Service& sv : l.services) {
                    if (sv.kind != ServiceKind::AI || (l.culled && sv.date > l.culled)) continue;
                    ++services;
                    if (sv.date == l.inCalf) ++conceptions;
                }
            }
            row.icr100d = ratio(inCalf100, row.groupCows);
            row.nicr200d = ratio(notInCalf200, row.groupCows);
            row.sr80d = ratio(served80, row.groupCows);
            row.cr = ratio(conceptions, services);
            rows.push_back(row);
        }
        std::reverse(rows.begin(), rows.end());
        return rows;
    }

    const bool split = herd.request.pattern == Pattern::Split;
    int number[2] = {0, 0};
    for (const Season& s : herd.seasons) {
        TruthRow row;
        row.mating = &s;
        row.groupFrom = s.msd - (split ? 120 : 130);
        row.groupTo = split ? s.msd : s.msd + 59;
        if (row.groupFrom < herd.simulationStart || row.groupTo > a) continue;
        row.recorded = row.groupFrom >= herd.historyStart;
        const int n = ++number[s.block];
        row.season = split ? std::string(1, static_cast<char>('A' + s.block)) + std::to_string(n) : std::to_string(n);
        int in6 = 0, notInCalf = 0, eligible = 0, submitted = 0, services = 0, conceptions = 0, early = 0;
        for (const Lactation& l : herd.lactations) {
            if (l.calved < row.groupFrom || l.calved > row.groupTo) continue;
            const Day culled = observedCull(l);
            if (culled && culled < s.msd) continue;
            ++row.groupCows;
            if (l.calved < s.msd - 41) ++early;
            if (l.inCalf >= s.msd && l.inCalf <= s.msd + 41) ++in6;
            if (!l.inCalf || l.inCalf > s.endOfMating) ++notInCalf;
            const Day first = firstService(l);
            if ((first == 0 || first >= s.msd) && !(culled && culled < s.msd + 21)) {
                ++eligible;
                if (first && first <= s.msd + 20) ++submitted;
            }
            for (const Service& sv : l.services) {
                if (sv.kind != ServiceKind::AI || sv.date < s.msd || sv.date > s.endOfAI) continue;
                if (l.culled && sv.date > l.culled) continue;
                ++services;
                if (sv.date == l.inCalf) ++conceptions;
            }
        }
        row.icr6wk = ratio(in6, row.groupCows);
        row.nicr = ratio(notInCalf, row.groupCows);
        row.sr3wk = ratio(submitted, eligible);
        row.cr = ratio(conceptions, services);
        row.calv6wk = ratio(early, row.groupCows);
        rows.push_back(row);
    }
    return rows;
}

std::string ManifestHeading() {
    return "herd,file,herd_number,pattern,quality,messy,cows,lactations,analysis_date,history_start,"
           "heat_detection,conception_per_service,season,planned_start_of_calving,msd,end_of_ai,"
           "end_of_mating,group_from,group_to,group_cows,icr6wk,nicr,sr3wk,cr,icr100d,recorded,calv6wk,"
           "nicr200d,sr80d\n";
}

std::string ManifestLines(const SimulatedHerd& herd, const std::string& fileName, int lactationRows) {
    const HerdRequest& r = herd.request;
    const std::string herdPart =
        std::to_string(r.index) + "," + fileName + "," + herd.herdNumber + "," + PatternName(r.pattern) + "," +
        QualityName(r.quality) + "," + (r.messy ? "1" : "0") + "," + std::to_string(herd.cows) + "," +
        std::to_string(lactationRows) + "," + FormatDate(r.analysisDate) + "," + FormatDate(herd.historyStart) +
        "," + Fixed1(100.0 * herd.params.heatDetection) + "," + Fixed1(100.0 * herd.params.conceptionRate) + ",";
    const std::vector<TruthRow> rows = TrueFigures(herd);
    if (rows.empty()) return herdPart + ",,,,,,,,,,,,,,,,\n";
    std::string out;
    for (const TruthRow& t : rows) {
        out += herdPart + t.season + ",";
        if (t.mating) {
            out += FormatDate(t.mating->plannedStartOfCalving) + "," + FormatDate(t.mating->msd) + "," +
                   FormatDate(t.mating->endOfAI) + "," + FormatDate(t.mating->endOfMating) + ",";
        } else {
            out += ",,,,";
        }
        out += FormatDate(t.groupFrom) + "," + FormatDate(t.groupTo) + "," + std::to_string(t.groupCows) + "," +
               Percent(t.icr6wk) + "," + Percent(t.nicr) + "," + Percent(t.sr3wk) + "," + Percent(t.cr) + "," +
               Percent(t.icr100d) + "," + (t.recorded ? "1" : "0") + "," + Percent(t.calv6wk) + "," +
               Percent(t.nicr200d) + "," + Percent(t.sr80d) + "\n";
    }
    return out;
}

std::string BatchLine(const SimulatedHerd& herd, const std::string& path) {
    return path + "," + herd.herdNumber + ",\"" + herd.owner + "\",\"" + herd.address + "\"," +
           FormatDate(herd.request.analysisDate);
}

}  // namespace ovista::herdgen
