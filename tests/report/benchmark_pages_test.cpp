#include "report/benchmark_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "report/recording_canvas.h"

namespace ovista {
namespace {

// A batch that fills every part of the pages: every reason for a failed herd, both notes, the
// three calving systems, herds without one, and more herds to visit than one page holds.
Benchmark FullBatch() {
    Benchmark b;
    b.folder = "/centre/xfer";
    b.reportDate = MakeDate(7, 12, 2026);
    b.counts = {false, 190, 170, 1, 4, 2, 14, {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 1}, {7, 1}, {8, 1}, {9, 1}, {42, 3}, {-1, 1}}};
    b.rowsLeftOut = 2;
    auto add = [&b](int system, int i, std::int16_t icr) {
        BenchmarkHerd herd;
        herd.herdNumber = "H" + std::to_string(b.herds.size());
        herd.owner = "Owner with a rather long name, farm " + std::to_string(i);
        herd.system = system;
        herd.level = 1 + i % 4;
        herd.reported = i % 9 != 0;
        herd.matingWeeks = 9 + i % 13;
        herd.values = {icr, static_cast<std::int16_t>(i % 30), static_cast<std::int16_t>(50 + i % 40),
                       static_cast<std::int16_t>(i % 3 == 0 ? 0 : 40 + i % 20), static_cast<std::int16_t>(60 + i % 35),
                       icr, static_cast<std::int16_t>(i % 25), static_cast<std::int16_t>(120 - i % 40),
                       static_cast<std::int16_t>(45 + i)};
        b.herds.push_back(herd);
    };
    for (int i = 0; i < 130; ++i) add(1, i, static_cast<std::int16_t>(i % 7 == 0 ? 0 : 20 + (i * 37) % 60));
    for (int i = 0; i < 10; ++i) add(2, i, static_cast<std::int16_t>(30 + i));
    for (int i = 0; i < 20; ++i) add(3, i, static_cast<std::int16_t>(-5 + 7 * i));  // off the axis at both ends
    for (int i = 0; i < 2; ++i) add(0, i, 50);
    b.lines = BenchmarkLines(b.herds);
    return b;
}

struct DrawnPages {
    explicit DrawnPages(const Benchmark& benchmark) : pages(benchmark) {
        HerdReport none;
        ClearHerdReport(none);
        for (int n = 1; n <= pages.PageCount(); ++n) {
            devices.push_back(std::make_unique<RecordingCanvas>(4958, 7017));
            ReportCanvas canvas(none, *devices.back(), 600);
            pages.Draw(canvas, n);
        }
    }
    std::vector<std::string> Texts(int pageNo) const {
        std::vector<std::string> texts;
        for (const DeviceCall& call : devices[static_cast<std::size_t>(pageNo - 1)]->Texts()) texts.push_back(call.text);
        return texts;
    }
    bool Has(int pageNo, const std::string& text) const {
        const std::vector<std::string> texts = Texts(pageNo);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    BenchmarkPages pages;
    std::vector<std::unique_ptr<RecordingCanvas>> devices;
};

TEST(BenchmarkPages, EveryPartStaysOnItsPageAboveTheFooter) {
    const Benchmark batch = FullBatch();
    const DrawnPages drawn(batch);
    ASSERT_GE(drawn.pages.PageCount(), 5);  // batch, seasonal and its continuation, split, year-round
    for (const auto& device : drawn.devices) {
        const int footer = device->Height() * 97 / 100;
        for (const DeviceCall& call : device->Calls()) {
            const bool text = call.op == DeviceCall::Op::Text;
            EXPECT_TRUE(call.x1 >= 0 && call.y1 >= 0 && call.x2 <= device->Width() && call.y2 <= device->Height())
                << call.text;
            if (text && call.y1 < footer) {
                EXPECT_LE(call.y2, footer) << "runs into the footer: " << call.text;
            }
        }
    }
    // The batch page: the counts, every reason, the notes on what is missing.
    for (const char* text : {"190", "170", "20", "Herd file could not be read", "Other error codes",
                             "Error 5: too few recalvings to estimate the rate", "No calving system found",
                             "Seasonal herds: 130", "Page 1 of " }) {
        const std::vector<std::string> texts = drawn.Texts(1);
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(text, 0) == 0; }))
            << text;
    }
}

TEST(BenchmarkPages, TheHerdsToVisitAreTheWorstQuarterOfTheInCalfRateLowestFirst) {
    const Benchmark batch = FullBatch();
    const DrawnPages drawn(batch);
    std::vector<std::size_t> expected;
    for (const BenchmarkLine& line : batch.lines) {
        if (line.figure->column == "ICR6wk" && batch.herds[line.herd].system == 1 && line.quartile == 4) {
            expected.push_back(line.herd);
        }
    }
    std::stable_sort(expected.begin(), expected.end(), [&batch](std::size_t a, std::size_t b) {
        return batch.herds[a].Value(HeadlineField::ICR6wk) < batch.herds[b].Value(HeadlineField::ICR6wk);
    });
    // The seasonal page and its continuation list them once each, in that order.
    std::vector<std::string> listed;
    for (int page = 2; page <= drawn.pages.PageCount(); ++page) {
        const std::vector<std::string> texts = drawn.Texts(page);
        if (texts.front().find("seasonal herds") == std::string::npos) continue;
        EXPECT_EQ(texts.front() == "Centre benchmark: seasonal herds (continued)", listed.size() > 0);
        for (const std::string& text : texts) {
            if (text.size() > 1 && text[0] == 'H' && std::isdigit(static_cast<unsigned char>(text[1]))) listed.push_back(text);
        }
    }
    ASSERT_GT(expected.size(), 20u);
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(listed[i], batch.herds[expected[i]].herdNumber);
}

TEST(BenchmarkPages, TheAimStandsAtItsValueOnTheAxis) {
    const Benchmark batch = FullBatch();
    const DrawnPages drawn(batch);
    ASSERT_TRUE(drawn.Has(2, "Aim 71%"));
    const RecordingCanvas& page = *drawn.devices[1];
    const int x = static_cast<int>(RoundHalfEven((33 + 61 * 0.71) * (page.Width() - 1) / 100.0));
    const bool dotted = std::any_of(page.Calls().begin(), page.Calls().end(), [x](const DeviceCall& call) {
        return call.op == DeviceCall::Op::Line && call.penStyle == PenStyle::Dot && call.x1 == x && call.x2 == x;
    });
    EXPECT_TRUE(dotted);
    // No herd at all: the batch page alone, which says so.
    const DrawnPages empty(Benchmark{});
    EXPECT_EQ(empty.pages.PageCount(), 1);
    EXPECT_TRUE(empty.Has(1, "Every herd of the batch was analysed and has its report."));
    EXPECT_TRUE(empty.Has(1, "No herd of the batch was analysed under a calving system."));
}

}  // namespace
}  // namespace ovista
