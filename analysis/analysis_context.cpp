#include "analysis/analysis_context.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace ovista {

AnalysisContext::AnalysisContext(HerdList& herdList, HerdReport& herdReport, Date analysisDate,
                                 SummaryWriter summaryWriter)
    : herd(herdList), report(herdReport), writeSummary(std::move(summaryWriter)), AnalysisDate(analysisDate) {}

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
        for (int d = 1; d <= rowsWritten_[place]; ++d) table[d] = LifeTableRow{};
    }
    if (tables.size() > spareTables.size()) spareTables.swap(tables);
}

LifeTable& AnalysisContext::TableUpTo(LifeTableSet set, Estimate estimate, int rows) {
    const std::size_t place = TablePlace(set, estimate);
    if (!workAreasHeld_ || place >= kLifeTableCount) throw std::out_of_range("no such life table");
    if (place >= WorkAreas.size()) WorkAreas.resize(place + 1);  // zeroed
    int& written = rowsWritten_[place];
    written = std::max(written, std::clamp(rows, 0, kLifeTableRows));
    return WorkAreas[place];
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
