#pragma once
// What the interpretation puts on page 1 of a report: texts, star ratings and advice marks at
// places in page percent (x from the left edge, y from the top, 0 to 100). The report draws
// them; nothing here draws.
#include <string>
#include <vector>

namespace ovista {

struct PageMark {
    enum class Kind {
        Text,          // text with the top-left of its cell at (x, y)
        TextRight,     // text ending at x, cell top at y
        TextCentred,   // text centred on x (on the width of `measure` when not empty)
        RaisedSuffix,  // small raised text right after the previous Text mark ("1" + "st")
        Stars,         // `count` stars (1, 3 or 5) centred on x, top at y
        Advice,        // "OK" (ok) or "Seek" / "advice" (not ok), see ReportCanvas::DrawAdvice
    };
    Kind kind = Kind::Text;
    double x = 0;
    double y = 0;
    double pointSize = 9;
    bool bold = false;
    std::string text;     // UTF-8
    std::string measure;  // TextCentred only
    int count = 0;        // Stars only
    bool ok = false;      // Advice only
    // Text only: a text of a narrow cell (a technician's) that is drawn smaller, then cut,
    // rather than reach the cell's edge.
    bool keepInCell = false;
    // Text only: an owner or address line, drawn smaller on its baseline, then cut, rather
    // than reach the right edge of the owner panel.
    bool ownerLine = false;

    bool operator==(const PageMark&) const = default;
};

using PageMarks = std::vector<PageMark>;

}  // namespace ovista
