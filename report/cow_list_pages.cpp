#include "report/cow_list_pages.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "herd/textutil.h"
#include "interpret/facts_block.h"
#include "report/page1.h"
#include "report/page_header.h"
#include "report/page_marks_draw.h"

namespace ovista {
namespace {

using namespace cow_list_layout;

constexpr double kCellPad = 0.6;
constexpr double kHeadingSize = 11;
constexpr double kSmallestHeadingSize = 7;
constexpr double kAdviceSize = 8;
constexpr double kColumnHeadSize = 7;
constexpr double kRowSize = 8;

// The start of text (whole characters) that fits width page percent in the current font.
std::string_view Fitting(ReportCanvas& canvas, std::string_view text, double width) {
    while (!text.empty() && canvas.TextWidth(text) > width) {
        std::size_t cut = text.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text = text.substr(0, cut);
    }
    return text;
}

// Lines of text wrapped to width, at most `most` of them (the last cut to fit).
std::vector<std::string> Wrapped(ReportCanvas& canvas, const std::string& text, double width, std::size_t most) {
    std::vector<std::string> lines;
    canvas.WrapText(text, lines, width);
    if (lines.size() > most) lines.resize(most);
    for (std::string& line : lines) line.resize(Fitting(canvas, line, width).size());
    return lines;
}

double BlockHead(bool continued) { return kHeadingHeight + (continued ? 0 : kAdviceHeight) + kTableHeadHeight; }

// Whole rows that fit between top and the bottom of the body under a block's head.
std::size_t RowsThatFit(double top, bool continued) {
    const double room = kBodyBottom - top - BlockHead(continued);
    return room < kRowHeight ? 0 : static_cast<std::size_t>((room + 1e-9) / kRowHeight);
}

}  // namespace

CowListPages::CowListPages(CowListTexts texts) : texts_(std::move(texts)) {
    std::vector<Block> page;
    double top = kBodyTop;
    const auto newPage = [&] {
        pages_.push_back(std::move(page));
        page.clear();
        top = kBodyTop;
    };
    for (std::size_t s = 0; s < texts_.sections.size(); ++s) {
        const std::size_t total = texts_.sections[s].Rows();
        std::size_t first = 0;
        while (first < total) {
            const bool continued = first > 0;
            const std::size_t left = total - first;
            std::size_t rows = std::min(RowsThatFit(top, continued), left);
            if (rows < std::min(left, kFewestRowsToStart) && !page.empty()) {
                newPage();
                continue;
            }
            rows = std::max<std::size_t>(rows, 1);  // an empty page always takes a row
            page.push_back({s, first, rows, continued, top});
            top += BlockHead(continued) + static_cast<double>(rows) * kRowHeight + kListGap;
            first += rows;
            if (first < total) newPage();
        }
    }
    if (!page.empty()) newPage();
}

const std::vector<CowListPages::Block>& CowListPages::Blocks(int pageNo) const {
    static const std::vector<Block> none;
    if (pageNo < 1 || pageNo > static_cast<int>(pages_.size())) return none;
    return pages_[static_cast<std::size_t>(pageNo - 1)];
}

void CowListPages::Draw(ReportCanvas& canvas, int pageNo, const Page1BandMarks* band) const {
    if (pageNo < 1 || pageNo > PageCount()) return;
    canvas.SetPageNo(kCowListPageNo);
    // Every page of the lists begins with the same band: drawn once, then copied where the
    // device can.
    if (!canvas.TakeStart(kCowListPageNo)) {
        DrawPage1Band(canvas, band);
        canvas.KeepStart(kCowListPageNo);
    }

    canvas.SetFont(8, false);
    double introRight = kRightEdge;
    if (PageCount() > 1) {
        const std::string of = "Page " + IntToText(pageNo) + " of " + IntToText(PageCount());
        canvas.DrawTextRight(of, kRightEdge, kIntroTop);
        introRight -= canvas.TextWidth(of) + 2;
    }
    canvas.DrawTextAt(Fitting(canvas, texts_.intro, introRight - kLeftMargin), kLeftMargin, kIntroTop);

    if (pages_.empty()) {
        canvas.SetFont(kHeadingSize, true);
        double y = kBodyTop + 2;
        for (const std::string& line : Wrapped(canvas, texts_.reason, kRightEdge - kLeftMargin, 3)) {
            canvas.DrawTextAt(line, kLeftMargin, y);
            y += kHeadingHeight;
        }
    } else {
        for (const Block& block : Blocks(pageNo)) DrawBlock(canvas, block);
    }
    DrawPageFooter(canvas);
}

void CowListPages::DrawBlock(ReportCanvas& canvas, const Block& block) const {
    const CowListSection& section = texts_.sections[block.section];
    const double width = kRightEdge - kLeftMargin;
    double y = block.top;
    const std::string heading = block.continued ? ContinuedHeading(section.heading) : section.heading;
    // A heading too wide for the page is drawn smaller, then cut.
    double size = kHeadingSize;
    canvas.SetFont(size, true);
    while (size > kSmallestHeadingSize && canvas.TextWidth(heading) > width) {
        size -= 0.5;
        canvas.SetFont(size, true);
    }
    canvas.DrawTextAt(Fitting(canvas, heading, width), kLeftMargin, y);
    y += kHeadingHeight;
    if (!block.continued) {
        canvas.SetFont(kAdviceSize, false);
        double line = y;
        for (const std::string& text : Wrapped(canvas, section.advice, width, 2)) {
            canvas.DrawTextAt(text, kLeftMargin, line);
            line += kAdviceHeight / 2;
        }
        y += kAdviceHeight;
    }

    canvas.DrawBox(false, true, canvas.HeadingColour(), kLeftMargin, y, kRightEdge, y + kTableHeadHeight);
    canvas.SetFont(kColumnHeadSize, true);
    for (std::size_t c = 0; c < kCowListColumns; ++c) {
        const double cell = kColumnX[c + 1] - kColumnX[c] - 2 * kCellPad;
        double line = y + 0.2;
        for (const std::string& text : Wrapped(canvas, texts_.columns[c], cell, 2)) {
            canvas.DrawTextAt(text, kColumnX[c] + kCellPad, line);
            line += kTableHeadHeight / 2 - 0.1;
        }
    }
    y += kTableHeadHeight;

    canvas.SetFont(kRowSize, false);
    // A column's cells all fit the same width.
    std::array<ReportCanvas::FittingColumn, kCowListColumns> columns;
    for (std::size_t c = 0; c < kCowListColumns; ++c) {
        columns[c] = canvas.ColumnFor(kColumnX[c] + kCellPad, kColumnX[c + 1] - kColumnX[c] - 2 * kCellPad);
    }
    const Rgb panel = canvas.PanelColour();
    for (std::size_t r = block.firstRow; r < block.firstRow + block.rows; ++r) {
        canvas.DrawBox(false, true, panel, kLeftMargin, y, kRightEdge, y + kRowHeight);
        std::array<std::string_view, kCowListColumns> cells;
        for (std::size_t c = 0; c < kCowListColumns; ++c) cells[c] = section.Cell(r, c);
        canvas.DrawRowFitting(cells, columns, y + 0.2);
        y += kRowHeight;
    }
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    for (std::size_t c = 1; c < kCowListColumns; ++c) {
        canvas.DrawRule(false, kColumnX[c], block.top + BlockHead(block.continued) - kTableHeadHeight, kColumnX[c], y);
    }
}

}  // namespace ovista
