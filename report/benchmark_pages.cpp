#include "report/benchmark_pages.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "herd/text_decode.h"
#include "herd/textutil.h"
#include "interpret/report_dates.h"

namespace ovista {
namespace {

// Quarters from the best (index 1) to the worst (4): strong colours for the bars, light
// ones for the table cells. Index 0 (not given) leaves a cell in the panel colour.
constexpr Rgb kQuarterBar[5] = {{0, 0, 0}, {56, 142, 60}, {139, 195, 74}, {255, 179, 0}, {229, 57, 53}};
constexpr Rgb kQuarterTint[5] = {{0, 0, 0}, {200, 230, 201}, {230, 242, 210}, {255, 236, 179}, {255, 205, 210}};
constexpr const char* kQuarterName[5] = {"", "Best quarter", "Second quarter", "Third quarter", "Worst quarter"};

// Figure blocks of a calving system's page.
constexpr double kFiguresTop = 8;
constexpr double kFigureHeight = 9.2;
constexpr double kChartLeft = 33;
constexpr double kChartRight = 94;
constexpr double kBarsTop = 1.6;     // below the block's top
constexpr double kBarsBottom = 6.6;  // the axis
// The table of herds to visit.
constexpr double kTableBottom = 95;
constexpr double kTableHeadHeight = 3;
constexpr double kRowHeight = 1.6;
constexpr double kContinuedTableTop = 8;

std::string Pct(int value) { return IntToText(value) + "%"; }

// text cut (whole characters) so that it fits width page percent in the current font.
std::string Fitting(ReportCanvas& canvas, std::string text, double width) {
    while (!text.empty() && canvas.TextWidth(text) > width) {
        std::size_t cut = text.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.erase(cut);
    }
    return text;
}

// A text in the current font over the width between the margins, line under line from y;
// returns the y below it.
double DrawWrapped(ReportCanvas& canvas, const std::string& text, double y) {
    std::vector<std::string> lines;
    canvas.WrapText(text, lines, kRightEdge - kLeftMargin);
    const double lineHeight = canvas.TextHeight("Ag");
    for (const std::string& line : lines) {
        canvas.DrawTextAt(line, kLeftMargin, y);
        y += lineHeight;
    }
    return y;
}

double ChartX(int value) {
    const int v = std::clamp(value, 0, 100);
    return kChartLeft + (kChartRight - kChartLeft) * v / 100.0;
}

// The herds' values of one figure as bars, one per value (values beyond the axis at its
// ends) counting the herds with it in their quarter's colour, on an axis from 0 to 100%,
// with the aim as a dotted line. top: the top of the figure's block.
void DrawSpreadChart(ReportCanvas& canvas, const BenchmarkPages::Spread& spread, double top) {
    struct Bar {
        int value;
        int herds;
        int quartile;
    };
    std::vector<Bar> bars;
    int most = 0;
    for (std::size_t i = 0; i < spread.values.size(); ++i) {
        const int value = std::clamp(spread.values[i], 0, 100);
        if (bars.empty() || bars.back().value != value) bars.push_back({value, 0, std::clamp(spread.quartiles[i], 0, 4)});
        most = std::max(most, ++bars.back().herds);
    }
    const double axis = top + kBarsBottom;
    const double halfWidth = (kChartRight - kChartLeft) / 101.0 * 0.45;
    for (const Bar& bar : bars) {
        const double height = (kBarsBottom - kBarsTop) * bar.herds / most;
        canvas.DrawBox(false, false, kQuarterBar[bar.quartile], ChartX(bar.value) - halfWidth, axis - height,
                       ChartX(bar.value) + halfWidth, axis);
    }
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    canvas.DrawRule(false, kChartLeft, axis, kChartRight, axis);
    canvas.SetFont(6, false);
    for (int tick = 0; tick <= 100; tick += 10) {
        canvas.DrawRule(false, ChartX(tick), axis, ChartX(tick), axis + 0.3);
        canvas.DrawTextCentred(Pct(tick), "", ChartX(tick), axis + 0.45);
    }
    const double aimX = ChartX(spread.aim);
    canvas.SetPen(kBlack, canvas.BoxPenWidth() * 2, PenStyle::Dot);
    canvas.DrawRule(false, aimX, top + 1.1, aimX, axis);
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    canvas.SetFont(7, true);
    const std::string aim = "Aim " + Pct(spread.aim);
    if (aimX + 0.4 + canvas.TextWidth(aim) > kRightEdge - 0.5) {
        canvas.DrawTextRight(aim, aimX - 0.4, top + 0.3);
    } else {
        canvas.DrawTextAt(aim, aimX + 0.4, top + 0.3);
    }
}

// Where a calving system's table starts on its first page.
double FirstTableTop(std::size_t figures) {
    return kFiguresTop + static_cast<double>(figures) * kFigureHeight + 7.5;
}
std::size_t RowsBetween(double tableTop) {
    return static_cast<std::size_t>((kTableBottom - tableTop - kTableHeadHeight) / kRowHeight);
}

const char* ErrorMeaning(int code) {
    switch (code) {
        case 1: return "over a quarter of the calvings implausible";
        case 2: return "no 12 months with enough calvings";
        case 3: return "too few records for any analysis";
        case 4: return "no basis for a split or year-round analysis";
        case 5: return "too few recalvings to estimate the rate";
        case 6: return "no cows behind the 100-day estimate";
        case 7: return "no cows calved or recalved in the year";
        case 8: return "no recalving information for the period";
        case 9: return "no recalving estimate for split calving";
        default: return "";
    }
}

// One column of the table of herds to visit.
struct TableColumn {
    const char* head1;
    const char* head2;
    double x1, x2;
    std::optional<HeadlineField> field;  // none: herd number, owner or level
};

std::vector<TableColumn> TableColumns(int system) {
    using F = HeadlineField;
    if (system == kYearRoundCalving) {
        return {{"Herd", "", 4, 14, {}},          {"Owner", "", 14, 40, {}},
                {"100-day", "in-calf rate", 40, 51, F::ICR100d},
                {"80-day", "submission rate", 51, 62, F::SR80d},
                {"Conception", "rate", 62, 73, F::CR},
                {"Waiting", "period", 73, 84, F::VWP},
                {"Level of", "analysis", 84, 96, {}}};
    }
    return {{"Herd", "", 4, 14, {}},          {"Owner", "", 14, 40, {}},
            {"6-week", "in-calf rate", 40, 51, F::ICR6wk},
            {"3-week", "submission rate", 51, 62, F::SR3wk},
            {"Conception", "rate", 62, 73, F::CR},
            {"Herd calved", "by week 6", 73, 84, F::Calv6wk},
            {"Level of", "analysis", 84, 96, {}}};
}

}  // namespace

BenchmarkPages::BenchmarkPages(const Benchmark& benchmark) : benchmark_(benchmark) {
    const std::vector<BenchmarkHerd>& herds = benchmark.herds;
    quartiles_.assign(herds.size(), {});
    for (const BenchmarkLine& line : benchmark.lines) {
        if (line.herd < herds.size() && line.figure != nullptr) {
            quartiles_[line.herd][static_cast<std::size_t>(line.figure->field)] = line.quartile;
        }
    }
    pages_.push_back({0, true, false, 0, 0});
    for (int code : {kSeasonalCalving, kSplitCalving, kYearRoundCalving}) {
        System system;
        system.system = code;
        std::vector<const BenchmarkHerd*> members;
        for (const BenchmarkHerd& herd : herds) {
            if (herd.system == code) members.push_back(&herd);
        }
        if (members.empty()) continue;
        system.herds = static_cast<int>(members.size());
        for (const HeadlineFigure& figure : HeadlineFigures(code)) {
            Spread spread;
            spread.figure = &figure;
            std::vector<const BenchmarkHerd*> given;
            std::vector<std::pair<int, int>> valued;
            for (std::size_t h = 0; h < herds.size(); ++h) {
                if (herds[h].system != code || herds[h].Value(figure.field) == 0) continue;
                given.push_back(&herds[h]);
                valued.emplace_back(herds[h].Value(figure.field),
                                    quartiles_[h][static_cast<std::size_t>(figure.field)]);
            }
            std::sort(valued.begin(), valued.end());
            const bool low = figure.higherIsWorse;
            const auto worseOf = [low](std::optional<int> limit, int v) {
                return !limit || (low ? v > *limit : v < *limit) ? v : *limit;
            };
            for (const auto& [value, quartile] : valued) {
                spread.values.push_back(value);
                spread.quartiles.push_back(quartile);
                if (quartile == 1) spread.bestLimit = worseOf(spread.bestLimit, value);
                if (quartile == 4) ++spread.worstQuarter;
                else spread.worstLimit = worseOf(spread.worstLimit, value);
            }
            if (spread.worstQuarter == 0) spread.worstLimit.reset();
            if (const std::size_t n = spread.values.size(); n > 0) {
                spread.median = (spread.values[(n - 1) / 2] + spread.values[n / 2]) / 2.0;
            }
            for (const BenchmarkHerd* herd : given) {
                const int aim = HeadlineAim(code, figure.field, std::span(&herd, 1));
                const int value = herd->Value(figure.field);
                if (low ? value <= aim : value >= aim) ++spread.reachingAim;
            }
            spread.aim = HeadlineAim(code, figure.field, given);
            system.spreads.push_back(std::move(spread));
        }
        // The in-calf rate is the first headline figure of every system.
        const HeadlineField icr = HeadlineFigures(code).front().field;
        for (std::size_t h = 0; h < herds.size(); ++h) {
            if (herds[h].system == code && quartiles_[h][static_cast<std::size_t>(icr)] == 4) {
                system.visitFirst.push_back(h);
            }
        }
        std::stable_sort(system.visitFirst.begin(), system.visitFirst.end(),
                         [&herds, icr](std::size_t a, std::size_t b) {
                             return herds[a].Value(icr) < herds[b].Value(icr);
                         });
        const std::size_t index = systems_.size();
        systems_.push_back(std::move(system));
        // The first page holds the figures and the first rows; the rest runs on.
        const std::size_t total = systems_.back().visitFirst.size();
        std::size_t rows = std::min(total, RowsBetween(FirstTableTop(systems_.back().spreads.size())));
        pages_.push_back({index, false, false, 0, rows});
        const std::size_t perPage = RowsBetween(kContinuedTableTop);
        for (std::size_t first = rows; first < total; first += perPage) {
            pages_.push_back({index, false, true, first, std::min(perPage, total - first)});
        }
    }
}

void BenchmarkPages::Draw(ReportCanvas& canvas, int pageNo) const {
    if (pageNo < 1 || pageNo > PageCount()) return;
    const Page& page = pages_[static_cast<std::size_t>(pageNo - 1)];
    // Warm colours on every page, as on the front page of a herd report.
    canvas.SetPageNo(1);
    canvas.DrawBox(false, false, kBackgroundColour, 0, 0, 100, 100);
    std::string title = "Centre benchmark";
    if (!page.batch) {
        std::string name(CalvingSystemName(systems_[page.system].system));
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        title += ": " + name + " herds";
        if (page.continued) title += " (continued)";
    }
    DrawFrame(canvas, pageNo, title);
    if (page.batch) {
        DrawBatchPage(canvas);
    } else {
        DrawSystemPage(canvas, page);
    }
}

void BenchmarkPages::DrawFrame(ReportCanvas& canvas, int pageNo, const std::string& title) const {
    canvas.SetFont(18, true);
    canvas.DrawTextAt(title, kLeftMargin, 2);
    // Our logo in the top right corner, as on the herd reports.
    DeviceCanvas& device = canvas.Device();
    if (const auto logo = device.GetImageSize(ReportImage::ProductLogo); logo && logo->height > 0) {
        const double height = 5.5;
        const double width = height * (logo->width / canvas.ScaleX()) / (logo->height / canvas.ScaleY());
        device.DrawImage(ReportImage::ProductLogo, canvas.PixelX(96 - width), canvas.PixelY(1.5),
                         canvas.PixelX(96), canvas.PixelY(1.5 + height));
    }
    canvas.SetFont(7, false);
    canvas.DrawRule(false, kLeftMargin, 97, kRightEdge, 97);
    const std::string date = "Report date: " + DateText(benchmark_.reportDate);
    canvas.DrawTextAt(date, kLeftMargin, 97.3);
    const std::string page = "Page " + IntToText(pageNo) + " of " + IntToText(PageCount());
    canvas.DrawTextRight(page, kRightEdge, 97.3);
    const double left = kLeftMargin + canvas.TextWidth(date) + 3;
    const double room = kRightEdge - canvas.TextWidth(page) - 3 - left;
    canvas.DrawTextAt(Fitting(canvas, "Transfer folder: " + RecordTextToUtf8(benchmark_.folder), room),
                      left, 97.3);
}

void BenchmarkPages::DrawBatchPage(ReportCanvas& canvas) const {
    const BatchCounts& counts = benchmark_.counts;
    canvas.SetFont(10, false);
    canvas.DrawTextAt("How the herds of this batch compare with each other", kLeftMargin, 5.3);

    canvas.SetFont(12, true);
    canvas.DrawNumberedPoint(1, "The batch in numbers", kLeftMargin, 8.5);
    struct Tile {
        const char* label;
        int count;
        const char* note;
    };
    const Tile tiles[3] = {
        {"Herds in the batch", counts.inBatch, counts.fromLog ? "lines of the batch log" : "rows of the summary file"},
        {"Analysed", counts.analysed, "with a report"},
        {"Failed", counts.Failed(), "without a report"},
    };
    const double tileX[3] = {kLeftMargin, kThreeColumnSecondX, kThreeColumnThirdX};
    constexpr double kTileTop = 11;
    for (int i = 0; i < 3; ++i) {
        const double x1 = tileX[i];
        const double centre = x1 + kThreeColumnWidth / 2;
        canvas.DrawBox(true, true, i == 0 ? canvas.HeadingColour() : canvas.PanelColour(), x1, kTileTop,
                       x1 + kThreeColumnWidth, kTileTop + 7.5);
        canvas.SetFont(10, true);
        canvas.DrawTextCentred(tiles[i].label, "", centre, kTileTop + 0.6);
        canvas.SetFont(28, true);
        canvas.DrawTextCentred(IntToText(tiles[i].count), "", centre, kTileTop + 2);
        canvas.SetFont(7, false);
        canvas.DrawTextCentred(tiles[i].note, "", centre, kTileTop + 6.1);
    }

    // Why herds failed, and reports that could not be put out, in two columns.
    struct Reason {
        std::string text;
        int herds;
    };
    std::vector<Reason> reasons;
    if (counts.notLoaded > 0) reasons.push_back({"Herd file could not be read", counts.notLoaded});
    if (counts.analysisFailed > 0) reasons.push_back({"Analysis stopped on an error", counts.analysisFailed});
    int otherCodes = 0;
    for (const auto& [code, herds] : counts.errorCodes) {
        const std::string meaning = ErrorMeaning(code);
        if (meaning.empty()) {
            otherCodes += herds;
            continue;
        }
        reasons.push_back({"Error " + IntToText(code) + ": " + meaning, herds});
    }
    if (otherCodes > 0) reasons.push_back({"Other error codes", otherCodes});
    if (counts.notPrinted > 0) reasons.push_back({"Analysed, report not put out", counts.notPrinted});
    double y = kTileTop + 8.7;
    canvas.SetFont(9, true);
    canvas.DrawTextAt(reasons.empty() ? "Every herd of the batch was analysed and has its report."
                                      : "Herds without a report, and why",
                      kLeftMargin, y);
    y += 1.6;
    canvas.SetFont(8, false);
    const std::size_t perColumn = (reasons.size() + 1) / 2;
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        const double x = i < perColumn ? kLeftMargin : kTwoColumnSecondX;
        const double row = y + 1.3 * static_cast<double>(i < perColumn ? i : i - perColumn);
        canvas.DrawTextAt(Fitting(canvas, reasons[i].text, kTwoColumnWidth - 6), x + 1, row);
        canvas.DrawTextRight(IntToText(reasons[i].herds), x + kTwoColumnWidth - 1, row);
    }
    y += 1.3 * static_cast<double>(perColumn);

    // Herds by calving system and level of analysis.
    y += 1.6;
    canvas.SetFont(12, true);
    canvas.DrawNumberedPoint(2, "Herds by calving system and level of analysis", kLeftMargin, y);
    y += 2.6;
    const char* heads[] = {"Calving system", "Detailed", "Intermediate", "Basic", "No basis", "All", "No report"};
    const double colX[] = {kLeftMargin, 30, 42, 54, 66, 78, 87, kRightEdge};
    canvas.DrawBox(false, true, canvas.HeadingColour(), kLeftMargin, y, kRightEdge, y + 1.8);
    canvas.SetFont(8, true);
    canvas.DrawTextAt(heads[0], kLeftMargin + 1, y + 0.3);
    for (int c = 1; c < 7; ++c) canvas.DrawTextCentred(heads[c], "", (colX[c] + colX[c + 1]) / 2, y + 0.3);
    y += 1.8;
    struct Row {
        std::string name;
        std::array<int, 6> counts{};
    };
    std::vector<Row> rows;
    for (int code : {kSeasonalCalving, kSplitCalving, kYearRoundCalving, std::int16_t{0}}) {
        Row row{code == 0 ? "No calving system found" : std::string(CalvingSystemName(code)), {}};
        bool any = false;
        for (const BenchmarkHerd& herd : benchmark_.herds) {
            const bool known = !CalvingSystemName(herd.system).empty();
            if (code == 0 ? known : herd.system != code) continue;
            any = true;
            const std::string_view level = AnalysisLevelName(herd.level);
            const int column = level == "Detailed" ? 0 : level == "Intermediate" ? 1 : level == "Basic" ? 2 : 3;
            ++row.counts[static_cast<std::size_t>(column)];
            ++row.counts[4];
            if (!herd.reported) ++row.counts[5];
        }
        if (any || code != 0) rows.push_back(row);
    }
    Row total{"All herds in the summary file", {}};
    for (const Row& row : rows) {
        for (std::size_t c = 0; c < 6; ++c) total.counts[c] += row.counts[c];
    }
    rows.push_back(total);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const bool last = r + 1 == rows.size();
        canvas.DrawBox(false, true, last ? canvas.HeadingColour() : canvas.PanelColour(), kLeftMargin, y, kRightEdge,
                       y + 1.6);
        canvas.SetFont(8, last);
        canvas.DrawTextAt(rows[r].name, kLeftMargin + 1, y + 0.25);
        for (int c = 1; c < 7; ++c) {
            canvas.DrawTextCentred(IntToText(rows[r].counts[static_cast<std::size_t>(c - 1)]), "",
                                   (colX[c] + colX[c + 1]) / 2, y + 0.25);
        }
        y += 1.6;
    }

    // The headline figures of each calving system at a glance.
    y += 1.6;
    canvas.SetFont(12, true);
    canvas.DrawNumberedPoint(3, "Headline figures at a glance", kLeftMargin, y);
    y += 2.6;
    const char* glanceHeads[] = {"Figure", "Herds compared", "Median", "Aim", "Herds reaching the aim",
                                 "In the worst quarter"};
    const double glanceX[] = {kLeftMargin, 34, 46, 56, 66, 82, kRightEdge};
    canvas.DrawBox(false, true, canvas.HeadingColour(), kLeftMargin, y, kRightEdge, y + 1.8);
    canvas.SetFont(8, true);
    canvas.DrawTextAt(glanceHeads[0], kLeftMargin + 1, y + 0.3);
    for (int c = 1; c < 6; ++c) {
        canvas.DrawTextCentred(glanceHeads[c], "", (glanceX[c] + glanceX[c + 1]) / 2, y + 0.3);
    }
    y += 1.8;
    if (systems_.empty()) {
        canvas.SetFont(8, false);
        canvas.DrawBox(false, true, canvas.PanelColour(), kLeftMargin, y, kRightEdge, y + 1.5);
        canvas.DrawTextAt("No herd of the batch was analysed under a calving system.", kLeftMargin + 1, y + 0.2);
        y += 1.5;
    }
    for (const System& system : systems_) {
        canvas.DrawBox(false, true, canvas.HeadingColour(), kLeftMargin, y, kRightEdge, y + 1.5);
        canvas.SetFont(8, true);
        canvas.DrawTextAt(std::string(CalvingSystemName(system.system)) + " herds: " + IntToText(system.herds),
                          kLeftMargin + 1, y + 0.2);
        y += 1.5;
        canvas.SetFont(8, false);
        for (const Spread& spread : system.spreads) {
            canvas.DrawBox(false, true, canvas.PanelColour(), kLeftMargin, y, kRightEdge, y + 1.5);
            canvas.DrawTextAt(std::string(spread.figure->title), kLeftMargin + 2, y + 0.2);
            const int compared = static_cast<int>(spread.values.size());
            std::string cells[5] = {IntToText(compared), "-", Pct(spread.aim), "-", "-"};
            if (compared > 0) {
                cells[1] = FormatNumberTrimmed(spread.median) + "%";
                cells[3] = IntToText(spread.reachingAim) + " (" +
                           FormatNumberTrimmed(RoundHalfEven(100.0 * spread.reachingAim / compared)) + "%)";
                cells[4] = IntToText(spread.worstQuarter);
            }
            for (int c = 1; c < 6; ++c) {
                canvas.DrawTextCentred(cells[c - 1], "", (glanceX[c] + glanceX[c + 1]) / 2, y + 0.2);
            }
            y += 1.5;
        }
    }

    // How to read the pages that follow.
    y += 1.6;
    canvas.SetFont(12, true);
    canvas.DrawNumberedPoint(4, "How to read the benchmark", kLeftMargin, y);
    y += 2.6;
    std::vector<std::string> paragraphs = {
        "Each herd is compared with the herds of the batch analysed under the same calving system that have the "
        "figure (0 means not given). Its percentile is the share of those herds that did worse, half of those with "
        "the same value counted: 100 is the best herd, 0 the worst, and a herd compared alone gets 50. For the "
        "not-in-calf rates lower is better. The best quarter has a percentile of 75 and above, the second 50 to "
        "74, the third 25 to 49, the worst quarter below 25.",
        "The next pages show for each calving system the spread of every headline figure against the aim the herd "
        "reports print, and the herds in the worst quarter of the in-calf rate with its drivers: the herds to "
        "visit first. BENCHMARK.CSV gives every herd's value, percentile and quarter.",
    };
    if (!counts.fromLog) {
        paragraphs.push_back("The batch log QMRBATCH.REP is not beside the summary file: the batch is counted from "
                             "the summary rows, so herds whose files could not be read are not included.");
    }
    if (benchmark_.rowsLeftOut > 0) {
        paragraphs.push_back(IntToText(benchmark_.rowsLeftOut) +
                             " rows of the summary file could not be read and are left out of the benchmark.");
    }
    canvas.SetFont(8, false);
    for (const std::string& paragraph : paragraphs) y = DrawWrapped(canvas, paragraph, y) + 0.4;
}

void BenchmarkPages::DrawSystemPage(ReportCanvas& canvas, const Page& page) const {
    const System& system = systems_[page.system];
    if (page.continued) {
        DrawTable(canvas, system, page, kContinuedTableTop);
        return;
    }
    canvas.SetFont(9, false);
    const std::string systemWords = system.system == kYearRoundCalving ? "year-round"
                                    : system.system == kSplitCalving   ? "split"
                                                                       : "seasonal";
    DrawWrapped(canvas,
                IntToText(system.herds) + (system.herds == 1 ? " herd" : " herds") + " of the batch analysed under " +
                    systemWords + " calving. Each bar counts the herds with that value, coloured by their quarter.",
                5.3);

    for (std::size_t f = 0; f < system.spreads.size(); ++f) {
        const Spread& spread = system.spreads[f];
        const double top = kFiguresTop + static_cast<double>(f) * kFigureHeight;
        canvas.DrawBox(true, true, canvas.PanelColour(), kLeftMargin, top, kRightEdge, top + kFigureHeight - 0.6);
        canvas.SetFont(10, true);
        const std::string title(spread.figure->title);
        canvas.DrawTextAt(title, kLeftMargin + 1, top + 0.5);
        const double titleRight = kLeftMargin + 1 + canvas.TextWidth(title);
        canvas.SetFont(7, false);
        canvas.DrawTextAt("(" + std::string(spread.figure->column) + ")", titleRight + 0.8, top + 0.8);
        canvas.SetFont(8, false);
        const int compared = static_cast<int>(spread.values.size());
        std::vector<std::string> facts = {IntToText(compared) + (compared == 1 ? " herd" : " herds") + " compared"};
        const bool low = spread.figure->higherIsWorse;
        if (compared > 0) {
            facts.push_back("Median " + FormatNumberTrimmed(spread.median) + "%");
            facts.push_back(IntToText(spread.reachingAim) + " reach the aim");
            if (spread.bestLimit) facts.push_back("Best quarter: " + Pct(*spread.bestLimit) + (low ? " and below" : " and above"));
            if (spread.worstLimit) {
                facts.push_back("Worst quarter: " + std::string(low ? "above " : "below ") + Pct(*spread.worstLimit));
            }
        } else {
            facts.push_back("No herd has this figure");
        }
        double y = top + 2.2;
        for (const std::string& fact : facts) {
            canvas.DrawTextAt(fact, kLeftMargin + 1, y);
            y += 1.25;
        }

        DrawSpreadChart(canvas, spread, top);
    }

    // The key to the colours.
    double y = kFiguresTop + static_cast<double>(system.spreads.size()) * kFigureHeight + 0.2;
    canvas.SetFont(8, false);
    double x = kLeftMargin;
    for (int q = 1; q <= 4; ++q) {
        canvas.DrawBox(false, true, kQuarterBar[q], x, y + 0.2, x + 1.2, y + 1.1);
        canvas.DrawTextAt(kQuarterName[q], x + 1.8, y);
        x += 1.8 + canvas.TextWidth(kQuarterName[q]) + 3;
    }
    canvas.SetPen(kBlack, canvas.BoxPenWidth() * 2, PenStyle::Dot);
    canvas.DrawRule(false, x + 0.6, y, x + 0.6, y + 1.3);
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    canvas.DrawTextAt("Aim printed on the herd reports", x + 1.8, y);

    y += 2.6;
    canvas.SetFont(12, true);
    canvas.DrawTextAt("Herds to visit first", kLeftMargin, y);
    canvas.SetFont(8, false);
    DrawWrapped(canvas,
                "The worst quarter of the " + std::string(system.spreads.front().figure->title) +
                    ", lowest first, with the drivers of that rate. A cell's colour is the herd's quarter in that "
                    "figure.",
                y + 1.8);
    DrawTable(canvas, system, page, FirstTableTop(system.spreads.size()));
}

void BenchmarkPages::DrawTable(ReportCanvas& canvas, const System& system, const Page& page, double top) const {
    const std::vector<TableColumn> columns = TableColumns(system.system);
    if (system.visitFirst.empty()) {
        canvas.SetFont(9, false);
        const bool anyGiven = !system.spreads.front().values.empty();
        canvas.DrawTextAt(anyGiven ? "No herd is in the worst quarter: too few herds have the in-calf rate to tell a "
                                     "quarter apart."
                                   : "No herd of this calving system has an in-calf rate.",
                          kLeftMargin, top);
        return;
    }
    canvas.SetFont(7, true);
    for (const TableColumn& column : columns) {
        canvas.DrawBox(false, true, canvas.HeadingColour(), column.x1, top, column.x2, top + kTableHeadHeight);
        const double middle = (column.x1 + column.x2) / 2;
        if (*column.head2 == '\0') {
            canvas.DrawTextCentred(column.head1, "", middle, top + 0.9);
        } else {
            canvas.DrawTextCentred(column.head1, "", middle, top + 0.35);
            canvas.DrawTextCentred(column.head2, "", middle, top + 1.45);
        }
    }
    double y = top + kTableHeadHeight;
    canvas.SetFont(8, false);
    for (std::size_t r = page.firstRow; r < page.firstRow + page.rows && r < system.visitFirst.size(); ++r) {
        const std::size_t h = system.visitFirst[r];
        const BenchmarkHerd& herd = benchmark_.herds[h];
        for (const TableColumn& column : columns) {
            Rgb fill = canvas.PanelColour();
            std::string text;
            bool centred = true;
            if (column.field) {
                const std::size_t f = static_cast<std::size_t>(*column.field);
                const int value = herd.values[f];
                if (const int q = quartiles_[h][f]; q >= 1 && q <= 4) fill = kQuarterTint[q];
                if (*column.field == HeadlineField::VWP) {
                    text = value != 0 ? IntToText(value) + " days" : "-";
                } else {
                    text = value != 0 ? Pct(value) : "-";
                }
            } else if (column.x1 == 4) {
                text = RecordTextToUtf8(herd.herdNumber);
                centred = false;
            } else if (column.x1 == 14) {
                text = RecordTextToUtf8(herd.owner);
                centred = false;
            } else {
                text = AnalysisLevelName(herd.level);
            }
            canvas.DrawBox(false, true, fill, column.x1, y, column.x2, y + kRowHeight);
            text = Fitting(canvas, text, column.x2 - column.x1 - 1);
            if (centred) {
                canvas.DrawTextCentred(text, "", (column.x1 + column.x2) / 2, y + 0.25);
            } else {
                canvas.DrawTextAt(text, column.x1 + 0.5, y + 0.25);
            }
        }
        y += kRowHeight;
    }
    if (page.firstRow + page.rows < system.visitFirst.size()) {
        canvas.SetFont(7, false);
        canvas.DrawTextRight("continued on the next page", kRightEdge, y + 0.3);
    }
}

}  // namespace ovista
