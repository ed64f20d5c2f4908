// The report pages of any result record, drawn through the page drawers on the recording
// device. A stored-result file comes from outside, so its figures may be NaN, infinite or far
// beyond any herd, its counts negative and its texts full of control bytes: the drawing must
// end, stay on the page and raise nothing but our own error. A byte after the record
// switches the stored-date offset on, as the stored-result run does; the bytes after it are
// earlier seasons (a record each, the last one short), drawn on the trend page.
#include <cmath>
#include <cstdint>
#include <string>

#include "analysis/herd_report.h"
#include "fuzz/fuzz_support.h"
#include "herd/errors.h"
#include "interpret/interpretation.h"
#include "interpret/report_dates.h"
#include "interpret/trends.h"
#include "report/page3.h"
#include "report/recording_canvas.h"
#include "report/report_canvas.h"
#include "report/report_pages.h"

#include <vector>

namespace {

std::string Describe(const ovista::DeviceCall& call) {
    return "call " + std::to_string(static_cast<int>(call.op)) + " (" + std::to_string(call.x1) + ", " +
           std::to_string(call.y1) + ")-(" + std::to_string(call.x2) + ", " + std::to_string(call.y2) +
           ") '" + call.text + "'";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    SetStoredDateOffset(size > kHerdReportSize && (data[kHerdReportSize] & 1) != 0);
    const HerdReport report = LoadHerdReport(data, size);

    std::vector<HerdReport> earlier;
    for (std::size_t at = kHerdReportSize + 1; at < size && earlier.size() < 6; at += kHerdReportSize) {
        earlier.push_back(LoadHerdReport(data + at, size - at));
    }

    // The A4 page of a PDF at 600 dots per inch.
    RecordingCanvas first(4958, 7017);
    RecordingCanvas second(4958, 7017);
    RecordingCanvas third(4958, 7017);
    try {
        const Interpretation interpretation = InterpretReport(report);
        const HerdReportPages pages(interpretation, report, &earlier);
        RecordingCanvas* devices[] = {&first, &second, &third};
        ReportCanvas canvas(report, first, 600);
        for (int pageNo = 1; pageNo <= pages.PageCount(); ++pageNo) {
            canvas.SetDevice(*devices[pageNo - 1]);
            pages.Draw(canvas, pageNo);
        }
    } catch (const OvistaError&) {
        return 0;  // reported to the user as the report that could not be made
    }
    for (const RecordingCanvas* page : {&first, &second, &third}) {
        for (const DeviceCall& call : page->Calls()) {
            // A text starts on the page; a long figure of a damaged record may run off its
            // edge as it would on paper. Shapes and pictures lie wholly on the page.
            const bool text = call.op == DeviceCall::Op::Text;
            const int right = text ? call.x1 : call.x2;
            const int bottom = text ? call.y1 : call.y2;
            const bool within = call.x1 >= 0 && call.y1 >= 0 && right >= 0 && bottom >= 0 &&
                                call.x1 <= page->Width() && right <= page->Width() &&
                                call.y1 <= page->Height() && bottom <= page->Height();
            FUZZ_CHECK(within, Describe(call));
        }
    }
    SetStoredDateOffset(false);
    return 0;
}
