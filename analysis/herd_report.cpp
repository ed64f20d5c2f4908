#include "analysis/herd_report.h"

#include <algorithm>
#include <bit>
#include <ostream>

namespace ovista {

namespace {

// Name of a field for printing: a plain name, or an element of one of the tables.
struct FieldName {
    const char* base;
    int index = -1;         // technician entry or curve day or cross-check group
    int count = -1;         // cross-check count within its group
    const char* member = nullptr;  // technician entry member
};

// Calls the visitor once per stored field with its name, its offset and the field itself.
// This list is the stored layout; store, load and printing all walk it, so they cannot
// disagree about an offset.
template <class Report, class Visitor>
void VisitFields(Report& r, Visitor& v) {
    v(FieldName{"Owner"}, 0, r.Owner, kOwnerMax);
    v(FieldName{"Address"}, 41, r.Address, kAddressMax);
    v(FieldName{"SHNO"}, 292, r.SHNO, kSHNOMax);
    v(FieldName{"Error"}, 301, r.Error);
    v(FieldName{"ReportDate"}, 303, r.ReportDate);
    v(FieldName{"ActCalvingPattern"}, 307, r.ActCalvingPattern);
    v(FieldName{"AnalysisCalvingPattern"}, 309, r.AnalysisCalvingPattern);
    v(FieldName{"CowsAnalysed"}, 311, r.CowsAnalysed);
    v(FieldName{"CalvingStart"}, 313, r.CalvingStart);
    v(FieldName{"CalvingStop"}, 317, r.CalvingStop);
    v(FieldName{"CdateMSD"}, 321, r.CdateMSD);
    v(FieldName{"PDMSD"}, 325, r.PDMSD);
    v(FieldName{"PrevPdMsd"}, 329, r.PrevPdMsd);
    v(FieldName{"Weekto80PC"}, 333, r.Weekto80PC);
    v(FieldName{"Clusters"}, 335, r.Clusters);
    v(FieldName{"AnalType"}, 337, r.AnalType);
    v(FieldName{"NRR"}, 339, r.NRR);
    v(FieldName{"NRRNo"}, 341, r.NRRNo);
    v(FieldName{"NRRSTart"}, 343, r.NRRSTart);
    v(FieldName{"NRRStop"}, 347, r.NRRStop);
    v(FieldName{"CR"}, 351, r.CR);
    v(FieldName{"CRNo"}, 353, r.CRNo);
    v(FieldName{"CRSTart"}, 355, r.CRSTart);
    v(FieldName{"CRStop"}, 359, r.CRStop);
    v(FieldName{"Yield2yo"}, 363, r.Yield2yo);
    v(FieldName{"YieldMature"}, 371, r.YieldMature);
    v(FieldName{"n2yo"}, 379, r.n2yo);
    v(FieldName{"nMature"}, 381, r.nMature);
    v(FieldName{"MSD"}, 383, r.MSD);
    v(FieldName{"EOMating"}, 387, r.EOMating);
    v(FieldName{"EOAI"}, 391, r.EOAI);
    v(FieldName{"SR10d"}, 395, r.SR10d);
    v(FieldName{"SR10d_n"}, 397, r.SR10d_n);
    v(FieldName{"SR3wk"}, 399, r.SR3wk);
    v(FieldName{"SR3wk_n"}, 401, r.SR3wk_n);
    v(FieldName{"ICR6wklow"}, 403, r.ICR6wklow);
    v(FieldName{"ICR6wkHigh"}, 405, r.ICR6wkHigh);
    v(FieldName{"ICR6wk"}, 407, r.ICR6wk);
    v(FieldName{"ICR3wk"}, 409, r.ICR3wk);
    v(FieldName{"ICR9wk"}, 411, r.ICR9wk);
    v(FieldName{"ICR12wk"}, 413, r.ICR12wk);
    v(FieldName{"ICR6wkCarryOvers"}, 415, r.ICR6wkCarryOvers);
    v(FieldName{"NICR"}, 417, r.NICR);
    v(FieldName{"NICRLow"}, 419, r.NICRLow);
    v(FieldName{"NICRHigh"}, 421, r.NICRHigh);
    v(FieldName{"Calv3wk2yo"}, 423, r.Calv3wk2yo);
    v(FieldName{"Calv6wk2yo"}, 425, r.Calv6wk2yo);
    v(FieldName{"Tot2yo"}, 427, r.Tot2yo);
    v(FieldName{"Calv3wk"}, 429, r.Calv3wk);
    v(FieldName{"Calv6wk"}, 431, r.Calv6wk);
    v(FieldName{"Calv9wk"}, 433, r.Calv9wk);
    v(FieldName{"nCalved"}, 435, r.nCalved);
    v(FieldName{"InducedPct"}, 437, r.InducedPct);
    v(FieldName{"Induced3wk"}, 439, r.Induced3wk);
    v(FieldName{"Induced6wk"}, 441, r.Induced6wk);
    v(FieldName{"Induced9wk"}, 443, r.Induced9wk);
    v(FieldName{"SR3wkEarlyMature"}, 445, r.SR3wkEarlyMature);
    v(FieldName{"SR3wkEM_n"}, 447, r.SR3wkEM_n);
    v(FieldName{"SplitNICR"}, 449, r.SplitNICR);
    v(FieldName{"SplitNICRLow"}, 451, r.SplitNICRLow);
    v(FieldName{"SplitNICRHigh"}, 453, r.SplitNICRHigh);
    v(FieldName{"VWP"}, 455, r.VWP);
    v(FieldName{"SR80d"}, 457, r.SR80d);
    v(FieldName{"SR80d_n"}, 459, r.SR80d_n);
    v(FieldName{"SR80dMature"}, 461, r.SR80dMature);
    v(FieldName{"SR80dMature_n"}, 463, r.SR80dMature_n);
    v(FieldName{"ICR100dLower"}, 465, r.ICR100dLower);
    v(FieldName{"ICR100dUPper"}, 467, r.ICR100dUPper);
    v(FieldName{"ICR100d"}, 469, r.ICR100d);
    v(FieldName{"NICR200d"}, 471, r.NICR200d);
    v(FieldName{"NICR200dLow"}, 473, r.NICR200dLow);
    v(FieldName{"NICR200dHigh"}, 475, r.NICR200dHigh);
    v(FieldName{"nCalved130"}, 477, r.nCalved130);
    v(FieldName{"Est100dN"}, 479, r.Est100dN);
    v(FieldName{"LastRecalving"}, 481, r.LastRecalving);
    v(FieldName{"yrCalved382"}, 485, r.yrCalved382);
    v(FieldName{"yrReCalved382"}, 487, r.yrReCalved382);
    v(FieldName{"HeatIntervals"}, 489, r.HeatIntervals);
    v(FieldName{"HeatIntervals1824"}, 491, r.HeatIntervals1824);
    for (std::size_t t = 0; t < kTechnicianCount; ++t) {
        const std::size_t at =
            herd_report_offset::kTechnicians + t * herd_report_offset::kTechnicianEntrySize;
        const int i = static_cast<int>(t);
        v(FieldName{"Technicians", i, -1, "Tech"}, at, r.Technicians[t].Tech, kTechMax);
        v(FieldName{"Technicians", i, -1, "Insems"}, at + 13, r.Technicians[t].Insems);
        v(FieldName{"Technicians", i, -1, "Pregs"}, at + 15, r.Technicians[t].Pregs);
    }
    for (std::size_t d = 0; d < kConceptionDays; ++d) {
        v(FieldName{"ConceptionByDay", static_cast<int>(d)},
          herd_report_offset::kConceptionByDay + 8 * d, r.ConceptionByDay[d]);
    }
    for (std::size_t g = 0; g < kCrossCheckGroups; ++g) {
        for (std::size_t c = 0; c < kCrossCheckCounts; ++c) {
            v(FieldName{"RecordsCrossCheck", static_cast<int>(g), static_cast<int>(c)},
              herd_report_offset::kRecordsCrossCheck + 2 * (g * kCrossCheckCounts + c),
              r.RecordsCrossCheck[g][c]);
        }
    }
    v(FieldName{"AnalysisDate"}, herd_report_offset::kAnalysisDate, r.AnalysisDate);
    v(FieldName{"CrossCheckStart"}, herd_report_offset::kCrossCheckStart, r.CrossCheckStart);
}

static_assert(herd_report_offset::kCrossCheckStart + 4 == kHerdReportSize);
static_assert(herd_report_offset::kTechnicians +
                  kTechnicianCount * herd_report_offset::kTechnicianEntrySize ==
              herd_report_offset::kConceptionByDay);
static_assert(herd_report_offset::kConceptionByDay + 8 * kConceptionDays ==
              herd_report_offset::kRecordsCrossCheck);
static_assert(herd_report_offset::kRecordsCrossCheck +
                  2 * kCrossCheckGroups * kCrossCheckCounts ==
              herd_report_offset::kAnalysisDate);

void PutLittleEndian(HerdReportBytes& out, std::size_t at, std::uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
}

struct Writer {
    HerdReportBytes& out;

    void operator()(FieldName, std::size_t at, const std::string& text, std::size_t max) {
        // Longer text is cut; the bytes after the characters stay zero.
        const std::size_t n = std::min(text.size(), max);
        out[at] = static_cast<std::uint8_t>(n);
        std::copy_n(text.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at + 1));
    }
    void operator()(FieldName, std::size_t at, std::int16_t value) {
        PutLittleEndian(out, at, static_cast<std::uint16_t>(value), 2);
    }
    void operator()(FieldName, std::size_t at, std::int32_t value) {
        PutLittleEndian(out, at, static_cast<std::uint32_t>(value), 4);
    }
    void operator()(FieldName, std::size_t at, double value) {
        PutLittleEndian(out, at, std::bit_cast<std::uint64_t>(value), 8);
    }
};

struct Reader {
    const std::uint8_t* data;
    std::size_t size;

    // A byte beyond the end of a short input reads as zero.
    std::uint8_t Byte(std::size_t at) const { return at < size ? data[at] : 0; }
    std::uint64_t Get(std::size_t at, int bytes) const {
        std::uint64_t value = 0;
        for (int k = 0; k < bytes; ++k) {
            value |= static_cast<std::uint64_t>(Byte(at + k)) << (8 * k);
        }
        return value;
    }

    void operator()(FieldName, std::size_t at, std::string& text, std::size_t max) {
        // The length byte of a damaged file may exceed the field; never read past it.
        const std::size_t n = std::min<std::size_t>(Byte(at), max);
        text.assign(n, '\0');
        for (std::size_t k = 0; k < n; ++k) {
            text[k] = static_cast<char>(Byte(at + 1 + k));
        }
    }
    void operator()(FieldName, std::size_t at, std::int16_t& value) {
        value = static_cast<std::int16_t>(static_cast<std::uint16_t>(Get(at, 2)));
    }
    void operator()(FieldName, std::size_t at, std::int32_t& value) {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(at, 4)));
    }
    void operator()(FieldName, std::size_t at, double& value) {
        value = std::bit_cast<double>(Get(at, 8));
    }
};

std::ostream& operator<<(std::ostream& out, const FieldName& name) {
    out << name.base;
    if (name.index >= 0) out << '[' << name.index << ']';
    if (name.count >= 0) out << '[' << name.count << ']';
    if (name.member != nullptr) out << '.' << name.member;
    return out;
}

void PrintText(std::ostream& out, const std::string& text) {
    out << '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '"' || c == '\\') {
            static const char kHex[] = "0123456789ABCDEF";
            out << "\\x" << kHex[u >> 4] << kHex[u & 15];
        } else {
            out << c;
        }
    }
    out << '"';
}

struct Printer {
    std::ostream& out;

    // Scalars always; table elements (curve days, cross-check counts) only when set, so a
    // failed comparison stays readable.
    void operator()(const FieldName& name, std::size_t, const std::string& text, std::size_t) {
        out << "\n  " << name << " = ";
        PrintText(out, text);
    }
    template <class T>
    void operator()(const FieldName& name, std::size_t, T value) {
        const bool tableElement = name.index >= 0 && name.member == nullptr;
        if (tableElement && value == T{}) return;
        out << "\n  " << name << " = " << +value;
    }
};

}  // namespace

void ClearHerdReport(HerdReport& report) { report = HerdReport{}; }

HerdReportBytes StoreHerdReport(const HerdReport& report) {
    HerdReportBytes bytes{};
    Writer writer{bytes};
    VisitFields(report, writer);
    return bytes;
}

HerdReport LoadHerdReport(const std::uint8_t* data, std::size_t size) {
    HerdReport report;
    Reader reader{data, data == nullptr ? 0 : size};
    VisitFields(report, reader);
    return report;
}

bool IsReportPrintable(const HerdReport& report) {
    if (report.Error == kErrorNone) return true;
    const bool noBasis = report.Error >= kErrorImplausibleCalvings &&
                         report.Error <= kErrorNoAnalysisBasis;
    return report.AnalysisCalvingPattern == kSeasonalCalving && !noBasis;
}

std::ostream& operator<<(std::ostream& out, const TechnicianEntry& entry) {
    out << "{Tech = ";
    PrintText(out, entry.Tech);
    return out << ", Insems = " << entry.Insems << ", Pregs = " << entry.Pregs << '}';
}

std::ostream& operator<<(std::ostream& out, const HerdReport& report) {
    out << "HerdReport {";
    Printer printer{out};
    VisitFields(report, printer);
    return out << "\n}";
}

void PrintTo(const TechnicianEntry& entry, std::ostream* out) { *out << entry; }
void PrintTo(const HerdReport& report, std::ostream* out) { *out << report; }

}  // namespace ovista
