#include "analysis/analysis_context.h"

#include <utility>

namespace ovista {

AnalysisContext::AnalysisContext(HerdList& herdList, HerdReport& herdReport, Date analysisDate,
                                 SummaryWriter summaryWriter)
    : herd(herdList), report(herdReport), writeSummary(std::move(summaryWriter)), AnalysisDate(analysisDate) {}

void AnalysisContext::TakeWorkAreas() {
    WorkAreas.clear();
    WorkAreas.resize(kLifeTableCount);  // zeroed in place
}

void AnalysisContext::ReleaseWorkAreas() {
    std::vector<LifeTable>().swap(WorkAreas);
}

LifeTable& AnalysisContext::Table(LifeTableSet set, Estimate estimate) {
    return WorkAreas.at(static_cast<std::size_t>(set) * 3 + static_cast<std::size_t>(estimate));
}

const LifeTable& AnalysisContext::Table(LifeTableSet set, Estimate estimate) const {
    return WorkAreas.at(static_cast<std::size_t>(set) * 3 + static_cast<std::size_t>(estimate));
}

}  // namespace ovista
