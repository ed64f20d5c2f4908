#include "analysis/analysis_context.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

namespace ovista {

AnalysisContext::AnalysisContext(HerdList& herdList, HerdReport& herdReport, Date analysisDate,
                                 SummaryWriter summaryWriter)
    : herd(herdList), report(herdReport), writeSummary(std::move(summaryWriter)), AnalysisDate(analysisDate) {}

const std::vector<CowRecord*>& WalkedLactations(AnalysisContext& context) {
    if (context.extent.walk != nullptr) return context.extent.walk->lactations;
    return context.herd.Records();
}

void NarrowToMatingGroups(AnalysisContext& context, bool allowed) {
    context.GroupWalk.clear();
    context.GroupWalkNarrowed = false;
    const LactationWalk* walk = context.extent.walk;
    if (walk == nullptr || !allowed) return;
    const std::int64_t from = walk->datesFrom;
    const std::int64_t to = walk->datesTo;
    // A conception date of a test is a date of the calendar.
    if (from < kFirstDate || to > kLastDate || from > to) return;
    const auto fits = [](std::int64_t days) { return days >= -32767 && days <= 32767; };
    struct Window {
        std::int64_t first;
        std::int64_t last;
    };
    std::array<Window, 2> windows{};
    std::size_t count = 0;
    const std::int16_t pattern = context.report.AnalysisCalvingPattern;
    if (pattern == kYearRoundCalving) {
        // Days to culling and from calving: between two dates of the herd.
        if (!fits(to - from)) return;
        const std::int64_t stop = context.report.CalvingStop;
        windows[count++] = {stop - 464, stop};  // the groups up to stop and stop - 100
    } else if (pattern == kSeasonalCalving || pattern == kSplitCalving) {
        // Days to culling and from the mating starts, one more or less.
        const std::int64_t msd = context.MSD;
        const std::int64_t prevMsd = context.PrevMSD;
        // Those from PrevMSD are counted below 700 only.
        if (!fits(from - msd + 1) || !fits(to - msd + 1) || from - prevMsd + 1 < -32767) return;
        windows[count++] = {msd - 130, msd + 59};
        if (prevMsd > 0) windows[count++] = {prevMsd - 130, prevMsd + 59};
    }
    ForEachLactation(context, [&](CowRecord& cow) {
        for (std::size_t w = 0; w < count; ++w) {
            if (cow.Calved >= windows[w].first && cow.Calved <= windows[w].last) {
                context.GroupWalk.push_back(&cow);
                return;
            }
        }
    });
    context.GroupWalkNarrowed = true;
}

namespace {

std::size_t TablePlace(LifeTableSet set, Estimate estimate) {
    return static_cast<std::size_t>(set) * 3 + static_cast<std::size_t>(estimate);
}

// The tables the thread's last analysis gave back, zeroed.
thread_local std::vector<LifeTable> spareTables;

}  // namespace

void AnalysisContext::TakeWorkAreas() {
    if (workAreasHeld_) ReleaseWorkAreas();
    WorkAreas.swap(spareTables);
    // Room for all nine, so that making one never moves those made before.
    WorkAreas.reserve(kLifeTableCount);
    rowsWritten_.fill(0);
    workAreasHeld_ = true;
}

void AnalysisContext::ReleaseWorkAreas() {
    std::vector<LifeTable> tables;
    tables.swap(WorkAreas);
    if (!workAreasHeld_) return;
    workAreasHeld_ = false;
    for (std::size_t place = 0; place < tables.size(); ++place) {
        LifeTable& table = tables[place];
        if (rowsWritten_[place] >= 1) {
            for (LifeTableRow& row : table.Run(1, rowsWritten_[place])) row = LifeTableRow{};
        }
    }
    // Keep the larger room even when this analysis made no table: a herd without one would
    // otherwise hand its room back and the next herd take a new one elsewhere in the heap.
    if (tables.size() > spareTables.size() ||
        (tables.size() == spareTables.size() && tables.capacity() > spareTables.capacity())) {
        spareTables.swap(tables);
    }
}

LifeTable& AnalysisContext::TableUpTo(LifeTableSet set, Estimate estimate, int rows) {
    const std::size_t place = TablePlace(set, estimate);
    if (!workAreasHeld_ || place >= kLifeTableCount) throw std::out_of_range("no such life table");
    if (place >= WorkAreas.size()) WorkAreas.resize(place + 1);  // zeroed
    int& written = rowsWritten_[place];
    written = std::max(written, std::clamp(rows, 0, kLifeTableRows));
    return WorkAreas[place];
}

int AnalysisContext::RowsWritten(LifeTableSet set, Estimate estimate) const {
    const std::size_t place = TablePlace(set, estimate);
    if (!workAreasHeld_ || place >= kLifeTableCount) throw std::out_of_range("no such life table");
    return rowsWritten_[place];
}

LifeTable& AnalysisContext::Table(LifeTableSet set, Estimate estimate) {
    return TableUpTo(set, estimate, kLifeTableRows);
}

const LifeTable& AnalysisContext::Table(LifeTableSet set, Estimate estimate) const {
    const std::size_t place = TablePlace(set, estimate);
    if (!workAreasHeld_ || place >= kLifeTableCount) throw std::out_of_range("no such life table");
    static const LifeTable kNotMade{};  // what it holds until it is made
    return place < WorkAreas.size() ? WorkAreas[place] : kNotMade;
}

}  // namespace ovista
