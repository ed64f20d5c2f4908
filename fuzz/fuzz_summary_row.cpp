// Summary CSV files as the report-from-summary run reads them: a header line, then the row
// that is read back into a HerdReport. Any row must either load or fail with our own error,
// and a loaded record must survive writing and reading again.
#include <cstdint>
#include <sstream>
#include <string>

#include "analysis/herd_report.h"
#include "formats/summary_file.h"
#include "fuzz/fuzz_support.h"
#include "herd/csv_line.h"
#include "herd/errors.h"

namespace {

std::string Describe(const ovista::HerdReport& report) {
    std::ostringstream out;
    out << report;
    return out.str().substr(0, 2000);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    std::istringstream in{std::string(fuzz::AsText(data, size))};
    std::string header;
    std::string row;
    if (!ReadTextLine(in, header) || !ReadTextLine(in, row)) return 0;

    HerdReport report;
    try {
        report = ReadSummaryRow(row);
    } catch (const OvistaError&) {
        return 0;
    }
    FUZZ_CHECK(report.Owner.size() <= kOwnerMax, "");
    FUZZ_CHECK(report.Address.size() <= kAddressMax, "");
    FUZZ_CHECK(report.SHNO.size() <= kSHNOMax, "");
    for (std::size_t t = 0; t < kTechnicianCount; ++t) {
        FUZZ_CHECK(report.Technicians[t].Tech.size() <= kTechMax, "");
    }
    FUZZ_CHECK(report.Technicians[kUnspecifiedTechnician] == TechnicianEntry{}, "entry 10 is never read");

    // The record goes to the report as a stored record would: it must store and load whole.
    const HerdReportBytes stored = StoreHerdReport(report);
    FUZZ_CHECK(LoadHerdReport(stored.data(), stored.size()) == report, Describe(report));

    // A row we write from a loaded record reads back without error. The first pass may
    // still move things (dates into the two-digit-year window, technicians without
    // inseminations dropped, a text cut to its maximum before a trailing blank); after it
    // writing and reading changes nothing.
    HerdReport once;
    HerdReport twice;
    try {
        once = ReadSummaryRow(SummaryRowText(report));
        twice = ReadSummaryRow(SummaryRowText(once));
    } catch (const OvistaError& error) {
        fuzz::Fail(__FILE__, __LINE__, "a written row reads back", error.what());
    }
    FUZZ_CHECK(twice == once, SummaryRowText(once) + "\n" + SummaryRowText(twice));
    return 0;
}
