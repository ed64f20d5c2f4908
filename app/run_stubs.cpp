// Stand-ins for the runs until they are built: each says so and fails.
#include "app/runs.h"
#include "herd/services.h"

namespace ovista {
namespace {

bool NotAvailable(const std::string& run) {
    ShowInfo(run + " is not available yet");
    return false;
}

}  // namespace

bool RunBatch(const std::string&, const std::string&, const ReportOutput&) {
    return NotAvailable("The batch run");
}
bool RunReportFromSummaryCsv(const std::string&, const ReportOutput&) {
    return NotAvailable("The report from a summary CSV file");
}
bool RunReportFromStoredResult(const std::string&, const ReportOutput&) {
    return NotAvailable("The report from a stored result");
}
bool RunSingleHerdCsv(const std::string&, const ReportOutput&) {
    return NotAvailable("The single herd CSV run");
}

}  // namespace ovista
