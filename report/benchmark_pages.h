#pragma once
// The pages of the centre benchmark for the centre's advisers: the batch in numbers, then
// for each calving system the spread of every headline figure and the herds in the worst
// quarter of the in-calf rate, with its drivers. Drawn like the herd reports, in page
// percent on any device.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "interpret/benchmark.h"
#include "report/report_canvas.h"

namespace ovista {

class BenchmarkPages {
public:
    // benchmark must outlive the pages.
    explicit BenchmarkPages(const Benchmark& benchmark);

    // The batch page, then per calving system with herds its page and, when its table of
    // herds to visit runs on, continuation pages.
    int PageCount() const { return static_cast<int>(pages_.size()); }
    // Draws page pageNo (from 1) onto the canvas's current device page.
    void Draw(ReportCanvas& canvas, int pageNo) const;

    // The spread of one headline figure among the herds of a calving system.
    struct Spread {
        const HeadlineFigure* figure = nullptr;
        int aim = 0;
        std::vector<int> values;     // the given values, ascending
        std::vector<int> quartiles;  // the quartile of each value
        double median = 0;
        int reachingAim = 0;   // herds whose value meets the aim their own report prints
        int worstQuarter = 0;  // herds in the worst quarter
        // The worst value in the best quarter, and the best value outside the worst quarter
        // (every value worse than it is in the worst quarter); none when no herd is there.
        std::optional<int> bestLimit;
        std::optional<int> worstLimit;
    };
    struct System {
        int system = 0;
        int herds = 0;  // summary rows of this calving system
        std::vector<Spread> spreads;
        // Herds in the worst quarter of the in-calf rate, lowest rate first, then in batch order.
        std::vector<std::size_t> visitFirst;
    };
    const std::vector<System>& Systems() const { return systems_; }

private:
    struct Page {
        std::size_t system = 0;  // index into systems_; unused on the batch page
        bool batch = false;
        bool continued = false;
        std::size_t firstRow = 0;
        std::size_t rows = 0;
    };
    void DrawBatchPage(ReportCanvas& canvas) const;
    void DrawSystemPage(ReportCanvas& canvas, const Page& page) const;
    void DrawTable(ReportCanvas& canvas, const System& system, const Page& page, double top) const;
    void DrawFrame(ReportCanvas& canvas, int pageNo, const std::string& title) const;

    const Benchmark& benchmark_;
    // The quartile of each herd's headline figures by herd and field; 0 when not given.
    std::vector<std::array<int, kHeadlineFields>> quartiles_;
    std::vector<System> systems_;
    std::vector<Page> pages_;
};

}  // namespace ovista
