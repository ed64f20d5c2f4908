#pragma once
// The centre benchmark as a PDF file for the centre's advisers.
#include <string>

#include "interpret/benchmark.h"

namespace ovista {

// Writes the benchmark's pages (A4, 600 dots per inch, text as text in the report's font) to
// path, under a temporary name beside it renamed into place when complete; an earlier file
// of that name is replaced. OvistaError naming the file when it cannot be written.
void WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path);

}  // namespace ovista
