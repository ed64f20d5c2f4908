#pragma once
// The names of the PDF files an unattended run writes: one per report, after its input file.
#include <set>
#include <string>

namespace ovista {

// The input file's name with its last extension replaced by ".pdf" (herd001.csv gives
// herd001.pdf); "report.pdf" when the path names no file.
std::string PdfFileNameFor(const std::string& inputPath);

// The names given out in one run. Herd files of one batch may share a name in different
// folders; the second report then gets "-2" before ".pdf", the third "-3", and so on, so
// no report overwrites another of the same run.
class PdfFileNames {
public:
    std::string Claim(const std::string& inputPath);
    // True until a name has been given out.
    bool Empty() const { return given_.empty(); }

private:
    std::set<std::string> given_;
};

}  // namespace ovista
