#pragma once
// Whether the reports of a run can go into a PDF folder, asked before the run starts: the
// run itself would find out only at its first report, and say so only in its log.
#include <string>

namespace ovista {

// Empty when the folder is there and writable, or can be made (missing folders above it
// included); else why not, in words for the person who chose it.
std::string PdfFolderProblem(const std::string& folder);

}  // namespace ovista
