#include "analysis/analysis_context.h"

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

}  // namespace

void AnalysisContext::TakeWorkAreas() {
    WorkAreas.clear();
    // Room for all nine, so that making one never moves those made before.
    WorkAreas.reserve(kLifeTableCount);
    workAreasHeld_ = true;
}

void AnalysisContext::ReleaseWorkAreas() {
    std::vector<LifeTable>().swap(WorkAreas);
    workAreasHeld_ = false;
}

LifeTable& AnalysisContext::Table(LifeTableSet set, Estimate estimate) {
    const std::size_t place = TablePlace(set, estimate);
    if (!workAreasHeld_ || place >= kLifeTableCount) throw std::out_of_range("no such life table");
    if (place >= WorkAreas.size()) WorkAreas.resize(place + 1);  // zeroed
    return WorkAreas[place];
}

const LifeTable& AnalysisContext::Table(LifeTableSet set, Estimate estimate) const {
    const std::size_t place = TablePlace(set, estimate);
    if (!workAreasHeld_ || place >= kLifeTableCount) throw std::out_of_range("no such life table");
    static const LifeTable kNotMade{};  // what it holds until it is made
    return place < WorkAreas.size() ? WorkAreas[place] : kNotMade;
}

}  // namespace ovista
