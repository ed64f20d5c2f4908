#pragma once
// What the window says when a batch run went to its end.
#include <string>

#include "batch/runs.h"

namespace ovista {

// The summary of BatchSummaryText, begun "The run ended" instead of "Task completed" when no
// herd was analysed, and followed by the failed herds with their reasons, up to
// kNamedFailedHerds of them and "and N more (see <logPath>)" for the rest.
std::string RunEndText(const BatchTally& tally, const ReportOutput& output,
                       const std::string& logPath, bool& warning);

}  // namespace ovista
