#include "batch/pdf_names.h"

#include <filesystem>

namespace ovista {

std::string PdfFileNameFor(const std::string& inputPath) {
    std::filesystem::path name = std::filesystem::path(inputPath).filename();
    if (name.empty() || name == "." || name == "..") return "report.pdf";
    name.replace_extension(".pdf");
    return name.string();
}

std::string PdfFileNames::Claim(const std::string& inputPath) {
    const std::string name = PdfFileNameFor(inputPath);
    std::string candidate = name;
    const std::string stem = name.substr(0, name.size() - 4);
    for (int n = 2; given_.count(candidate) != 0; ++n) {
        candidate = stem + "-" + std::to_string(n) + ".pdf";
    }
    given_.insert(candidate);
    return candidate;
}

}  // namespace ovista
