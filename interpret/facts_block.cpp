#include "interpret/facts_block.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "herd/text_decode.h"
#include "herd/textutil.h"
#include "interpret/report_dates.h"

namespace ovista {
namespace {

PageMark TextMark(double x, double y, double pointSize, std::string text) {
    PageMark mark;
    mark.kind = PageMark::Kind::Text;
    mark.x = x;
    mark.y = y;
    mark.pointSize = pointSize;
    mark.text = std::move(text);
    return mark;
}

void AddValue(PageMarks& marks, double y, std::string text) {
    if (!text.empty()) marks.push_back(TextMark(68, y, 8, std::move(text)));
}

}  // namespace

namespace {

// A day count moved by days, held at the ends of its range: a damaged record's date must not
// overflow (the date texts of such a day show nothing sensible either way).
Date Shifted(Date day, int days) {
    const std::int64_t moved = std::int64_t{day} + days;
    return static_cast<Date>(std::clamp<std::int64_t>(moved, std::numeric_limits<Date>::min(),
                                                      std::numeric_limits<Date>::max()));
}

}  // namespace

std::pair<Date, Date> CalvingWindow(const HerdReport& report, int system) {
    if (system == kSplitCalving) return {Shifted(report.MSD, -120), report.MSD};
    if (system == kYearRoundCalving) return {report.CalvingStart, report.CalvingStop};
    return {Shifted(report.MSD, -130), Shifted(report.MSD, 59)};
}

std::string PeriodLabel(const HerdReport& report) {
    const auto [first, last] = report.MSD == 0 ? CalvingWindow(report, kYearRoundCalving)
                                               : CalvingWindow(report, report.ActCalvingPattern);
    const int y1 = DateYear(first);
    const int y2 = DateYear(last);
    if (y1 == y2) return IntToText(y1);
    auto twoDigits = [](int year) {
        const int yy = year % 100;
        return std::string(yy < 10 ? "0" : "") + IntToText(yy);
    };
    return twoDigits(y1) + "/" + twoDigits(y2);
}

std::string CalvingWindowText(const HerdReport& report) {
    const auto [first, last] = CalvingWindow(report, report.ActCalvingPattern);
    return DateText(first) + " and " + DateText(last);
}

std::vector<std::string> AddressPieces(const std::string& address) {
    std::vector<std::string> pieces;
    std::string piece;
    bool quoted = false;
    for (const char c : address) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            pieces.push_back(TrimBlanks(piece));
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces.push_back(TrimBlanks(piece));
    return pieces;
}

PageMarks OwnerBlockMarks(const HerdReport& report) {
    PageMarks marks;
    const std::string owner = RecordTextToUtf8(report.Owner);
    if (!owner.empty()) marks.push_back(TextMark(10, 6, 12, owner));
    const std::vector<std::string> pieces = AddressPieces(RecordTextToUtf8(report.Address));
    for (std::size_t i = 0; i < pieces.size() && i < 5; ++i) {
        if (!pieces[i].empty()) marks.push_back(TextMark(10, 6 + 2.0 * static_cast<double>(i + 1), 12, pieces[i]));
    }
    for (PageMark& mark : marks) mark.ownerLine = true;
    return marks;
}

PageMarks HeaderValueMarks(const HerdReport& report, int pageNo) {
    PageMarks marks;
    const bool page2 = pageNo == 2;
    const std::string herdId = RecordTextToUtf8(report.SHNO);
    const std::string cows = IntToText(report.CowsAnalysed);
    if (report.ActCalvingPattern == kYearRoundCalving) {
        const double top = page2 ? 7 : 5.5;
        AddValue(marks, top, DateText(report.ReportDate));
        AddValue(marks, top + 2.5, herdId);
        if (page2) {
            AddValue(marks, 12, DateText(report.AnalysisDate));
            AddValue(marks, 14.5, cows);
            AddValue(marks, 17, CalvingWindowText(report));
        } else {
            AddValue(marks, 10.5, cows);
            AddValue(marks, 13, CalvingWindowText(report));
        }
        return marks;
    }
    const double top = page2 ? 7 : 3;
    AddValue(marks, top, DateText(report.ReportDate));
    AddValue(marks, top + 2.5, herdId);
    double next = top + 5;
    if (page2) {
        AddValue(marks, 12, DateText(report.AnalysisDate));
        next = 14.5;
    }
    AddValue(marks, next, cows);
    if (report.MSD == 0) return marks;
    AddValue(marks, next + 2.5, CalvingWindowText(report));
    std::string mating = DateText(report.MSD);
    if (report.EOMating != 0) mating += " - " + DateText(report.EOMating);
    AddValue(marks, next + 5, mating);
    if (!page2) AddValue(marks, 15.5, DateText(Shifted(report.MSD, 282)));
    return marks;
}

}  // namespace ovista
