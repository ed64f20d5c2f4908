#pragma once
// The pages "Cows to act on", after the report's pages: page 1's header band under their own
// title, then per list its heading with the count, a line of advice and a table of the cows
// (Cow, Calved, Age, First mating, Matings, In calf); a list that runs on to the next page
// repeats its heading there with "(continued)". A herd with no cow to list gets one page
// saying why. Drawn in page percent on any device, so every output has the same pages.
#include <cstddef>
#include <vector>

#include "interpret/cow_lists_text.h"
#include "report/page_header.h"
#include "report/report_canvas.h"

namespace ovista {

// Places of the pages, in page percent.
namespace cow_list_layout {
inline constexpr double kIntroTop = 18.3;
inline constexpr double kBodyTop = 20.5;
inline constexpr double kBodyBottom = 94.2;  // above the footer
inline constexpr double kHeadingHeight = 2.4;
inline constexpr double kAdviceHeight = 2.8;  // room for two lines of advice
inline constexpr double kTableHeadHeight = 2.6;  // two lines of column heads
inline constexpr double kRowHeight = 1.5;
inline constexpr double kListGap = 1.2;
// Left edges of the table's columns (Cow, Calved, Age, First mating, Matings, In calf), then
// its right edge.
inline constexpr double kColumnX[kCowListColumns + 1] = {4, 30, 44, 52, 66, 78, 96};
// A list starts on a new page rather than with fewer rows than this (or all its rows).
inline constexpr std::size_t kFewestRowsToStart = 3;
}  // namespace cow_list_layout

class CowListPages {
public:
    explicit CowListPages(CowListTexts texts);

    // At least 1: a herd without a list has the page that says why.
    int PageCount() const { return pages_.empty() ? 1 : static_cast<int>(pages_.size()); }
    // Draws page pageNo (from 1) onto the canvas's current device page; its record gives the
    // header band (band: its marks, made once for the herd's pages). Nothing for a page
    // number outside 1..PageCount().
    void Draw(ReportCanvas& canvas, int pageNo, const Page1BandMarks* band = nullptr) const;

    // The part of a list on a page: rows firstRow.. of section, its heading's top at top.
    struct Block {
        std::size_t section = 0;
        std::size_t firstRow = 0;
        std::size_t rows = 0;
        bool continued = false;
        double top = 0;
    };
    // The blocks of page pageNo (from 1); none on the page of a herd without a list.
    const std::vector<Block>& Blocks(int pageNo) const;
    const CowListTexts& Texts() const { return texts_; }

private:
    void DrawBlock(ReportCanvas& canvas, const Block& block) const;

    CowListTexts texts_;
    std::vector<std::vector<Block>> pages_;
};

}  // namespace ovista
