#include "interpret/interpretation.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "herd/text_decode.h"
#include "herd/textutil.h"
#include "interpret/anchors.h"
#include "interpret/facts_block.h"
#include "interpret/message_table.h"
#include "interpret/ratings.h"

namespace ovista {
namespace {

namespace a = anchors;

constexpr double kLabelSize = 8;
constexpr double kNameSize = 7;
constexpr double kSmallSize = 6;

std::string Key(std::string_view key) { return LookupMessage(key); }
// A count written into a note.
std::string N(double count) { return FormatNumberTrimmed(count); }
std::string Pct(double value) { return FormatNumberTrimmed(value) + "%"; }
std::string RangeText(int value, int first, int second) {
    return Pct(value) + " (" + IntToText(first) + "-" + IntToText(second) + "%)";
}
// A figure of a damaged record can be anything: beyond the range of int it stays at the end
// of the range (NaN gives 0) instead of an undefined conversion.
int RoundToInt(double x) {
    const double rounded = RoundHalfEven(x);
    if (!(rounded == rounded)) return 0;
    return static_cast<int>(std::clamp(rounded, double{INT_MIN}, double{INT_MAX}));
}

// The first n characters of UTF-8 text (a character is a lead byte and its continuations).
std::string FirstChars(const std::string& text, std::size_t n) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == n) return text.substr(0, i);
    }
    return text;
}

bool StartsWithDigit(const std::string& text) { return !text.empty() && text[0] >= '0' && text[0] <= '9'; }

class MarkWriter {
public:
    explicit MarkWriter(PageMarks& marks) : marks_(marks) {}

    void Text(double x, double y, std::string text, double size = a::kFigureSize) {
        if (text.empty()) return;
        PageMark m;
        m.kind = PageMark::Kind::Text;
        m.x = x;
        m.y = y;
        m.pointSize = size;
        m.text = std::move(text);
        marks_.push_back(std::move(m));
    }
    // A text of a technician's column, kept inside it.
    void ColumnText(double x, double y, std::string text, double size = a::kFigureSize) {
        const std::size_t before = marks_.size();
        Text(x, y, std::move(text), size);
        if (marks_.size() > before) marks_.back().keepInCell = true;
    }
    void Raised(double x, double y, std::string text) {
        PageMark m;
        m.kind = PageMark::Kind::RaisedSuffix;
        m.x = x;
        m.y = y;
        m.pointSize = kSmallSize;
        m.text = std::move(text);
        marks_.push_back(std::move(m));
    }
    void Stars(double x, double y, int count) {
        if (count == 0) return;
        PageMark m;
        m.kind = PageMark::Kind::Stars;
        m.x = x;
        m.y = y;
        m.count = count;
        marks_.push_back(std::move(m));
    }
    void Advice(double x, double y, AdviceMark advice) {
        if (advice == AdviceMark::None) return;
        PageMark m;
        m.kind = PageMark::Kind::Advice;
        m.x = x;
        m.y = y;
        m.ok = advice == AdviceMark::Ok;
        marks_.push_back(std::move(m));
    }

    // A single-figure panel: figure, aim one row lower, rating beside them.
    void Figure(const a::Figure& at, std::string figure, std::string aim) {
        Text(at.x, at.y, std::move(figure));
        Text(at.x, at.y + a::kAimStep, std::move(aim));
    }
    void FigureStars(const a::Figure& at, std::string figure, std::string aim, int stars) {
        Figure(at, std::move(figure), std::move(aim));
        Stars(at.x + at.d, at.ry, stars);
    }
    void FigureAdvice(const a::Figure& at, std::string figure, std::string aim, AdviceMark advice) {
        Figure(at, std::move(figure), std::move(aim));
        Advice(at.x + at.d, at.ry, advice);
    }

    // One week column of a calving-pattern panel; label and figure only when the value is known.
    void WeekColumn(double x, double starsDx, int week, int value, int aim, int stars) {
        if (value != 0) {
            Text(x - 0.3, a::kWeekLabelY, "Week " + IntToText(week), kLabelSize);
            Text(x + 0.3, a::kWeekFigureY, Pct(value));
        }
        Text(x + 0.3, a::kWeekAimY, Pct(aim));
        Stars(x + starsDx, a::kWeekStarsY, stars);
    }

private:
    PageMarks& marks_;
};

// The value text of a figure, empty when it is 0.
std::string ValueText(int value) { return value != 0 ? Pct(value) : std::string(); }

std::string NonReturnText(const HerdReport& r) {
    const bool crBetter = r.CRNo >= 50 && r.AnalType == kBasisEarlyPregTest;
    if (r.NRRNo == 0) return Key(crBetter ? "NRR_CRBetter" : "NRR_NoMatings");
    if (r.NRRNo < 50) return N(r.NRRNo) + " " + Key("NRR_InsufficientMatings");
    if (r.NRR > 70) return Key("NRR_NoReturns");
    if (crBetter) return Key("NRR_CRBetter");
    return N(r.NRRNo) + " " + Key("NRR_OK");
}

// Non-return rate; the year-round figure needs more than 50 inseminations, the seasonal one 50.
void NonReturn(const HerdReport& r, bool yearRound, MarkWriter& out, InterpretationTexts& texts) {
    texts.NrrText = NonReturnText(r);
    const bool enough = yearRound ? r.NRRNo > 50 : r.NRRNo >= 50;
    const bool shown = enough && r.NRR <= 70 && !(r.CRNo >= 50 && r.AnalType == kBasisEarlyPregTest);
    out.FigureAdvice(a::kNrr, shown ? Pct(r.NRR) : std::string(), "60%", AdviceFor(r.NRR, 60));
}

void Conception(const HerdReport& r, const RatingTarget& target, MarkWriter& out, InterpretationTexts& texts) {
    const bool shown = r.CRNo > 50 && r.AnalType == kBasisEarlyPregTest;
    texts.CrText = shown ? N(r.CRNo) + " " + Key("CR_OK") : Key("CR_None");
    out.FigureStars(a::kCr, shown ? Pct(r.CR) : std::string(), Pct(target.aim), target.Stars(r.CR));
}

void FirstCalverMilk(const HerdReport& r, const a::MilkColumns& at, MarkWriter& out,
                     InterpretationTexts& texts) {
    const int young = r.n2yo;
    const int mature = r.nMature;
    const double share = young >= 20 ? static_cast<double>(young) / (young + mature) : 0;
    if (young < 20) {
        texts.FirstCalverMilkText = Key("1stCalverMilk_None");
    } else if (share < 0.15) {
        texts.FirstCalverMilkText = Key("1stCalverMilk_TooFew");
    }
    int ratio = 0;
    if (r.YieldMature != 0 && r.Yield2yo != 0 && young >= 20 && share >= 0.15) {
        texts.FirstCalverMilkText = "Herd test records from " + N(young) + " first calvers and " + N(mature) +
                                    " mature cows were used to calculated the ratio.";
        ratio = RoundToInt(r.Yield2yo / r.YieldMature * 100);
        // "1", a small raised "st", then "calver" clear of the suffix.
        out.Text(at.x[0], at.y, "1", kLabelSize);
        out.Raised(at.x[0], at.y, "st");
        out.Text(at.x[0] + 1.9, at.y, "calver", kLabelSize);
        out.Text(at.x[0], at.y + a::kAimStep, FormatFixed(r.Yield2yo, 1));
        out.Text(at.x[1], at.y, "Mature", kLabelSize);
        out.Text(at.x[1], at.y + a::kAimStep, FormatFixed(r.YieldMature, 1));
        out.Text(at.x[2], at.y, "Ratio", kLabelSize);
        out.Text(at.x[2], at.y + a::kAimStep, Pct(ratio));
    }
    out.Text(at.x[2], at.y + 2 * a::kAimStep, "83%");
    out.Stars(at.x[2] + a::kMilkStarsDx, at.starsY, StarCount(ratio, 77, 80));
}

// A comparison in a technician's "Conc. rate" cell: the rate, or "Similar to" over the name.
void WriteComparison(const TechnicianComparison& c, double x, double y, MarkWriter& out) {
    if (StartsWithDigit(c.text)) {
        out.ColumnText(x, y, c.text);
    } else if (!c.text.empty()) {
        out.ColumnText(x, y - 0.2, c.text, kSmallSize);
        out.ColumnText(x, y + 0.6, c.name, kSmallSize);
    }
}

void Technicians(const HerdReport& r, const a::TechnicianColumns& at, MarkWriter& out,
                 InterpretationTexts& texts) {
    const auto& t = r.Technicians;
    bool shown[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (t[i].Insems <= 0) continue;
        shown[i] = true;
        texts.AiPracticeText = Key("AIPractice_OK");
        const double x = at.x + at.pitch * i;
        out.ColumnText(x, at.y, FirstChars(RecordTextToUtf8(t[i].Tech), 8), kNameSize);
        out.ColumnText(x, at.y + a::kAimStep, N(t[i].Insems));
    }
    const double rateY = at.y + 2 * a::kAimStep;
    if (shown[0] && t[0].Insems >= 50) out.ColumnText(at.x, rateY, Pct(RoundHalfEven(TechnicianRate(t[0]))));
    bool secondDiffers = false;
    if (shown[1]) {
        const TechnicianComparison c = CompareTechnicians(t[0], t[1]);
        secondDiffers = StartsWithDigit(c.text);
        WriteComparison(c, at.x + at.pitch, rateY, out);
    }
    if (shown[2]) {
        const TechnicianComparison c = CompareTechnicians(t[0], t[2]);
        const bool thirdDiffers = StartsWithDigit(c.text);
        const TechnicianComparison shownC = secondDiffers && thirdDiffers ? CompareTechnicians(t[1], t[2]) : c;
        WriteComparison(shownC, at.x + 2 * at.pitch, rateY, out);
    }
}

// The key of an in-calf rate's note: estimated, actual, or no result, by the analysis basis.
std::string InCalfKey(int analType, bool known, const std::string& prefix) {
    const bool matings = analType == kBasisMatingRecords || analType == kBasisPregTest;
    if (known) {
        if (matings) return prefix + "_Estimated_Matings";
        if (analType == kBasisEarlyPregTest) return prefix + "_Actual";
        if (analType == kBasisRecalving) return prefix + "_Estimated_Calvings";
        return {};
    }
    if (matings) return prefix + "_NoResultFromMatings";
    if (analType == kBasisRecalving) return prefix + "_NoResultFromCalvings";
    return {};
}

std::string KeyOrEmpty(const std::string& key) { return key.empty() ? std::string() : Key(key); }

PageMarks FactsMarks(const HerdReport& r) {
    PageMarks marks = OwnerBlockMarks(r);
    const PageMarks values = HeaderValueMarks(r, 1);
    marks.insert(marks.end(), values.begin(), values.end());
    return marks;
}

}  // namespace

int MatingWeeks(const HerdReport& report) {
    // In 64 bits: the two dates of a damaged record may lie further apart than int holds.
    if (report.MSD >= report.EOMating) return 21;
    return static_cast<int>((std::int64_t{report.EOMating} - report.MSD) / 7 + 1);
}

int ExpectedNicr(int icr6wk, int weeks) {
    static constexpr int kTable[8][6] = {
        {49, 31, 21, 16, 12, 10}, {43, 28, 20, 15, 12, 10}, {38, 25, 18, 14, 11, 10},
        {32, 22, 16, 12, 11, 9},  {26, 18, 14, 11, 10, 9},  {21, 15, 12, 10, 9, 9},
        {15, 12, 10, 9, 9, 8},    {9, 9, 8, 8, 8, 8},
    };
    const int row = icr6wk < 25 ? 0 : std::min(7, (icr6wk - 15) / 10);
    const int column = weeks < 9 ? 0 : std::min(5, (weeks - 6) / 3);
    return kTable[row][column];
}

namespace {
// Row of the not-in-calf tables: below 8, 8-10, 11-13, 14-16, 17-19, 20 or more weeks.
int NicrRow(int weeks) { return weeks < 8 ? 0 : std::min(5, (weeks - 5) / 3); }
}  // namespace

int NicrTarget(int weeks) {
    static constexpr int kTarget[6] = {29, 20, 13, 10, 9, 8};
    return kTarget[NicrRow(weeks)];
}

double NicrTop(int weeks) {
    static constexpr double kTop[6] = {31, 21, 16, 12.1, 11, 10.1};
    return kTop[NicrRow(weeks)];
}

int NicrAverage(int weeks) {
    static constexpr int kAverage[6] = {40, 28, 21, 17, 13, 11};
    return kAverage[NicrRow(weeks)];
}

double TechnicianRate(const TechnicianEntry& entry) {
    return entry.Insems > 0 ? entry.Pregs * 100.0 / entry.Insems : 0;
}

TechnicianComparison CompareTechnicians(const TechnicianEntry& reference, const TechnicianEntry& shown) {
    TechnicianComparison c;
    const int fewer = std::min(reference.Insems, shown.Insems);
    const double limit = fewer >= 400 ? 6 : fewer >= 200 ? 10 : fewer >= 50 ? 15 : 0;
    if (limit == 0) return c;
    const double d = std::abs(TechnicianRate(shown) - TechnicianRate(reference));
    if (d >= limit) {
        c.text = Pct(RoundHalfEven(TechnicianRate(shown)));
    } else {
        c.text = "Similar to";
        c.name = RecordTextToUtf8(reference.Tech);
    }
    return c;
}

Interpretation InterpretSeasonal(const HerdReport& r, bool split) {
    Interpretation result;
    result.marks = FactsMarks(r);
    MarkWriter out(result.marks);
    InterpretationTexts& texts = result.texts;
    const int weeks = MatingWeeks(r);
    const bool earlyPd = r.AnalType == kBasisEarlyPregTest;

    // 6-week in-calf rate.
    texts.Icr6wkText = KeyOrEmpty(InCalfKey(r.AnalType, r.ICR6wk != 0, "6wk"));
    std::string icr;
    if (r.ICR6wk != 0) {
        icr = earlyPd && r.ICR6wklow != r.ICR6wkHigh ? RangeText(r.ICR6wk, r.ICR6wklow, r.ICR6wkHigh)
                                                     : Pct(r.ICR6wk);
    }
    out.FigureStars(split ? a::kIcr6wkSplit : a::kIcr6wk, icr, Pct(kIcr6wkTarget.aim), kIcr6wkTarget.Stars(r.ICR6wk));

    // Not-in-calf rate: the range runs from the optimistic to the pessimistic end.
    const bool nicrReported = r.NICR != 0 && (earlyPd || r.AnalType == kBasisPregTest);
    texts.NicrText = Key(nicrReported ? "NICR_Reported" : "NICR_None");
    std::string nicr;
    if (nicrReported) {
        nicr = r.NICRHigh != r.NICRLow ? RangeText(r.NICR, r.NICRHigh, r.NICRLow) : Pct(r.NICR);
    }
    out.FigureStars(split ? a::kNicrSplit : a::kNicr, nicr, Pct(NicrTarget(weeks)),
                    StarCountLow(r.NICR, NicrAverage(weeks), NicrTop(weeks)));

    if (split) {
        const bool reported = r.SplitNICR != 0 && (earlyPd || r.AnalType == kBasisPregTest) &&
                              r.SplitNICRLow != r.SplitNICRHigh;
        texts.SplitNicrText = Key(reported ? "NICR_Reported" : "NICR_None");
        out.FigureStars(a::kSplitNicr, reported ? RangeText(r.SplitNICR, r.SplitNICRLow, r.SplitNICRHigh) : "",
                        Pct(NicrTarget(21)), StarCountLow(r.SplitNICR, NicrAverage(21), NicrTop(21)));
    }

    // 3-week submission rate.
    const bool shortAi = std::int64_t{r.EOAI} - r.MSD < 21;  // no overflow on a damaged record
    texts.Sr3wkText = r.SR3wk != 0 ? N(r.SR3wk_n) + " " + Key("3wkSRa") + " " + N(r.SR3wk) + "% " + Key("3wkSRb")
                                   : Key(shortAi ? "3wk_Not21" : "3wk_NoMatings");
    out.FigureStars(a::kSr3wk, ValueText(r.SR3wk), Pct(kSr3wkTarget.aim), kSr3wkTarget.Stars(r.SR3wk));

    NonReturn(r, false, out, texts);
    Conception(r, kCrSeasonalTarget, out, texts);

    // Calving pattern of first calvers.
    texts.HeiferPatternText = r.Calv6wk2yo != 0 ? N(r.Tot2yo) + " " + Key("HeiferPattern_OK")
                              : Key(r.Tot2yo == 0 ? "HeiferPattern_No2yo" : "HeiferPattern_No6wk");
    out.WeekColumn(a::kFirstCalverWeekX[0], a::kFirstCalverStarsDx, 3, r.Calv3wk2yo, 73,
                   StarCount(r.Calv3wk2yo, 51, 62));
    out.WeekColumn(a::kFirstCalverWeekX[1], a::kFirstCalverStarsDx, 6, r.Calv6wk2yo, 92,
                   StarCount(r.Calv6wk2yo, 85, 89));

    FirstCalverMilk(r, a::kMilkSeasonal, out, texts);

    // Calving pattern of the whole herd.
    texts.HerdPatternText = r.Calv9wk != 0 ? N(r.nCalved) + " " + Key("HerdPattern_OK") : Key("HerdPattern_None");
    out.WeekColumn(a::kHerdWeekX[0], a::kHerdStarsDx, 3, r.Calv3wk, 61, StarCount(r.Calv3wk, 51, 57));
    out.WeekColumn(a::kHerdWeekX[1], a::kHerdStarsDx, 6, r.Calv6wk, kCalv6wkTarget.aim, kCalv6wkTarget.Stars(r.Calv6wk));
    out.WeekColumn(a::kHerdWeekX[2], a::kHerdStarsDx, 9, r.Calv9wk, 100, StarCount(r.Calv9wk, 94, 99));

    // Heat detection: 3-week submission of the early-calved mature cows.
    texts.MatureSrText = r.SR3wkEarlyMature != 0 ? N(r.SR3wkEM_n) + " " + Key("3wkSRc") + " " +
                                                       N(r.SR3wkEarlyMature) + "% " + Key("3wkSRb")
                                                 : Key(shortAi ? "3wk_Not21" : "3wkMature_NoOlds");
    out.FigureStars(a::kHeatDetection, ValueText(r.SR3wkEarlyMature), "92%", StarCount(r.SR3wkEarlyMature, 85, 89));

    texts.AiPracticeText = Key("AIPractice_None");
    if (earlyPd) Technicians(r, a::kTechniciansSeasonal, out, texts);

    // Performance after week 6: the not-in-calf rate against the one expected from the 6-week rate.
    const int expected = ExpectedNicr(r.ICR6wk, weeks);
    const bool bulls = earlyPd && r.ICR6wk != 0 && r.NICR != 0 && 100 - r.NICR >= r.ICR6wk;
    texts.BullsText = Key(bulls ? "Bulls_OK" : "Bulls_None");
    out.Text(a::kAfterWeek6.x, a::kAfterWeek6.y, bulls ? Pct(r.NICR) : std::string());
    out.Text(a::kAfterWeek6.x, a::kAfterWeek6ExpectedY, Pct(expected));
    out.Advice(a::kAfterWeek6.x + a::kAfterWeek6.d, a::kAfterWeek6.ry, AdviceForLow(r.NICR, expected));

    // Induced cows: the share is never negative, so every figure is written, 0% included.
    texts.InducedText = r.InducedPct == 0 ? Key("Induced_zero") : N(r.InducedPct) + Key("Induced_OK");
    if (r.InducedPct >= 0) {
        out.Text(a::kInducedX, a::kInducedY, Pct(r.InducedPct));
        const int weeksInduced[3] = {r.Induced3wk, r.Induced6wk, r.Induced9wk};
        for (int i = 0; i < 3; ++i) {
            out.Text(a::kInducedWeekX[i] - 0.3, a::kInducedLabelY, "Week " + IntToText(3 * (i + 1)), kLabelSize);
            out.Text(a::kInducedWeekX[i] + 0.3, a::kInducedFigureY, Pct(weeksInduced[i]));
        }
    }
    return result;
}

Interpretation InterpretYearRound(const HerdReport& r) {
    Interpretation result;
    result.marks = FactsMarks(r);
    MarkWriter out(result.marks);
    InterpretationTexts& texts = result.texts;
    const bool earlyPd = r.AnalType == kBasisEarlyPregTest;

    // 100-day in-calf rate.
    texts.Icr100dText = KeyOrEmpty(InCalfKey(r.AnalType, r.ICR100d != 0, "100d"));
    std::string icr;
    if (r.ICR100d != 0) icr = earlyPd ? RangeText(r.ICR100d, r.ICR100dLower, r.ICR100dUPper) : Pct(r.ICR100d);
    out.FigureStars(a::kIcr100d, icr, Pct(kIcr100dTarget.aim), kIcr100dTarget.Stars(r.ICR100d));

    // 200-day not-in-calf rate.
    const bool reported = r.NICR200dLow != 0 && (earlyPd || r.AnalType == kBasisPregTest);
    texts.Nicr200dText = Key(reported ? "200dNICR_Reported" : "200dNICR_None");
    out.FigureStars(a::kNicr200d, reported ? RangeText(r.NICR200dLow, r.nCalved130, r.NICR200dHigh) : "",
                    Pct(kNicr200dTarget.aim), kNicr200dTarget.Stars(r.NICR200dLow));

    // 80-day submission rate.
    texts.Sr80dText = r.SR80d != 0 ? N(r.SR80d_n) + " " + Key("80dSRa") + " " + N(r.SR80d) + "% " + Key("80dSRb")
                                   : Key("80d_NoMatings");
    out.FigureStars(a::kSr80d, ValueText(r.SR80d), Pct(kSr80dTarget.aim), kSr80dTarget.Stars(r.SR80d));

    NonReturn(r, true, out, texts);
    Conception(r, kCrYearRoundTarget, out, texts);

    // Voluntary waiting period: "OK" below 60 days.
    if (r.VWP != 0) {
        texts.VwpText = Key("VWP");
        out.Text(a::kVwp.x, a::kVwp.y, IntToText(r.VWP) + " days*");
        out.Text(a::kVwp.x, a::kVwpNoteY, "*estimated");
    }
    out.Text(a::kVwp.x, a::kVwp.y + a::kAimStep, "60 days");
    out.Advice(a::kVwp.x + a::kVwp.d, a::kVwp.ry, AdviceForLow(r.VWP, 59));

    // Mature cows' 80-day submission rate.
    texts.MatureSrText = r.SR80dMature != 0 ? N(r.SR80dMature_n) + " " + Key("80dSRc") + " " + N(r.SR80dMature) +
                                                  "% " + Key("80dSRb")
                                            : Key("80dMature_NoOlds");
    out.FigureStars(a::kMatureSr80d, ValueText(r.SR80dMature), "76%", StarCount(r.SR80dMature, 61, 70));

    // Return intervals of 18 to 24 days.
    int p = 0;
    if (r.HeatIntervals1824 != 0 && r.HeatIntervals != 0) {
        p = RoundToInt(static_cast<double>(r.HeatIntervals1824) / r.HeatIntervals * 100);
        texts.HeatIntervalText = N(r.HeatIntervals) + " " + Key("1824a") + " " + N(p) + "% " + Key("1824b");
    }
    out.FigureStars(a::kReturnIntervals, r.HeatIntervals1824 != 0 && r.HeatIntervals != 0 ? Pct(p) : "", "52%",
                    StarCount(p, 43, 47));

    FirstCalverMilk(r, a::kMilkYearRound, out, texts);

    texts.AiPracticeText = Key("AIPractice_None");
    Technicians(r, a::kTechniciansYearRound, out, texts);
    return result;
}

Interpretation InterpretReport(const HerdReport& report) {
    switch (report.ActCalvingPattern) {
        case kSeasonalCalving:
            return InterpretSeasonal(report, false);
        case kSplitCalving:
            return InterpretSeasonal(report, true);
        case kYearRoundCalving:
            return InterpretYearRound(report);
        default:
            return {};
    }
}

}  // namespace ovista
