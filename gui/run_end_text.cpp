#include "gui/run_end_text.h"

#include <string_view>

namespace ovista {

std::string RunEndText(const BatchTally& tally, const ReportOutput& output,
                       const std::string& logPath, bool& warning) {
    std::string text = BatchSummaryText(tally, output, logPath, warning);
    constexpr std::string_view kCompleted = "Task completed";
    if (tally.herds == tally.failed && text.starts_with(kCompleted)) {
        text.replace(0, kCompleted.size(), "The run ended");
    }
    if (tally.failed == 0) return text;
    text += "\n\nFailed:";
    for (const FailedHerd& herd : tally.failures) text += "\n" + herd.path + ": " + herd.reason;
    const int more = tally.failed - static_cast<int>(tally.failures.size());
    if (more > 0) text += "\nand " + IntToText(more) + " more (see " + logPath + ")";
    return text;
}

}  // namespace ovista
