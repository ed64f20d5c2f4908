#include "formats/summary_file.h"

#include <charconv>
#include <ostream>
#include <variant>

#include "herd/errors.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

// One fixed column of the summary row. Texts and dates are written inside double quotes,
// except SHNO, which is written bare unless it holds a comma or a double quote.
struct TextColumn {
    std::string HerdReport::*field;
    std::size_t max;
    bool quoted;
};
struct DateColumn {
    Date HerdReport::*field;
};
struct CountColumn {
    std::int16_t HerdReport::*field;
};
struct YieldColumn {
    double HerdReport::*field;
};
using Column = std::variant<TextColumn, DateColumn, CountColumn, YieldColumn>;

// Columns 1 to 68 in row order.
const std::vector<Column>& Columns() {
    using R = HerdReport;
    static const std::vector<Column> columns = {
        TextColumn{&R::Owner, kOwnerMax, true},
        TextColumn{&R::Address, kAddressMax, true},
        TextColumn{&R::SHNO, kSHNOMax, false},
        CountColumn{&R::Error},
        DateColumn{&R::ReportDate},
        CountColumn{&R::ActCalvingPattern},
        CountColumn{&R::AnalysisCalvingPattern},
        CountColumn{&R::CowsAnalysed},
        DateColumn{&R::CalvingStart},
        DateColumn{&R::CalvingStop},
        DateColumn{&R::CdateMSD},
        DateColumn{&R::PDMSD},
        CountColumn{&R::Weekto80PC},
        CountColumn{&R::Clusters},
        CountColumn{&R::AnalType},
        DateColumn{&R::NRRSTart},
        DateColumn{&R::NRRStop},
        CountColumn{&R::NRR},
        CountColumn{&R::NRRNo},
        DateColumn{&R::CRSTart},
        DateColumn{&R::CRStop},
        CountColumn{&R::CR},
        CountColumn{&R::CRNo},
        YieldColumn{&R::Yield2yo},
        CountColumn{&R::n2yo},
        YieldColumn{&R::YieldMature},
        CountColumn{&R::nMature},
        DateColumn{&R::MSD},
        DateColumn{&R::EOMating},
        DateColumn{&R::EOAI},
        CountColumn{&R::SR10d},
        CountColumn{&R::SR10d_n},
        CountColumn{&R::SR3wk},
        CountColumn{&R::SR3wk_n},
        CountColumn{&R::ICR6wklow},
        CountColumn{&R::ICR6wkHigh},
        CountColumn{&R::ICR6wk},
        CountColumn{&R::ICR6wkCarryOvers},
        CountColumn{&R::NICR},
        CountColumn{&R::NICRLow},
        CountColumn{&R::NICRHigh},
        CountColumn{&R::Calv3wk2yo},
        CountColumn{&R::Calv6wk2yo},
        CountColumn{&R::Tot2yo},
        CountColumn{&R::Calv3wk},
        CountColumn{&R::Calv6wk},
        CountColumn{&R::Calv9wk},
        CountColumn{&R::nCalved},
        CountColumn{&R::SR3wkEarlyMature},
        CountColumn{&R::SR3wkEM_n},
        CountColumn{&R::SplitNICR},
        CountColumn{&R::SplitNICRLow},
        CountColumn{&R::SplitNICRHigh},
        CountColumn{&R::SR80d},
        CountColumn{&R::SR80d_n},
        CountColumn{&R::ICR100dLower},
        CountColumn{&R::ICR100dUPper},
        CountColumn{&R::ICR100d},
        CountColumn{&R::NICR200d},
        CountColumn{&R::NICR200dLow},
        CountColumn{&R::NICR200dHigh},
        CountColumn{&R::nCalved130},
        CountColumn{&R::Est100dN},
        CountColumn{&R::SR80dMature},
        CountColumn{&R::SR80dMature_n},
        CountColumn{&R::VWP},
        CountColumn{&R::HeatIntervals},
        CountColumn{&R::HeatIntervals1824},
    };
    return columns;
}

// Named technician entries a row can carry before the unspecified one.
constexpr std::size_t kNamedTechnicians = 10;

// Text inside double quotes, a double quote in it doubled so a reader keeps the columns.
void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// SHNO goes bare, as it always has, unless it would break the row.
void AppendHerdNumber(std::string& out, std::string_view shno) {
    if (shno.find_first_of(",\"") != std::string_view::npos) {
        AppendQuoted(out, shno);
    } else {
        out += shno;
    }
}

std::string HerdNumberText(std::string_view shno) {
    std::string out;
    AppendHerdNumber(out, shno);
    return out;
}

void AppendInteger(std::string& out, std::int64_t value) {
    char text[24];
    out.append(text, static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text));
}

// A row's columns appended in place: a TRENDS run writes five rows a herd.
void AppendColumn(std::string& out, const HerdReport& report, const Column& column) {
    struct Visitor {
        std::string& out;
        const HerdReport& r;
        void operator()(const TextColumn& c) const {
            if (c.quoted) {
                AppendQuoted(out, r.*c.field);
            } else {
                AppendHerdNumber(out, r.*c.field);
            }
        }
        void operator()(const DateColumn& c) const {
            char text[kDateTextLength + 2];
            text[0] = '"';
            PutDateSlash(text + 1, r.*c.field);
            text[kDateTextLength + 1] = '"';
            out.append(text, sizeof text);
        }
        void operator()(const CountColumn& c) const { AppendInteger(out, r.*c.field); }
        void operator()(const YieldColumn& c) const { out += FormatYield(r.*c.field); }
    };
    std::visit(Visitor{out, report}, column);
}

void ReadColumn(HerdReport& report, const Column& column, const std::string& text) {
    struct Visitor {
        HerdReport& r;
        const std::string& text;
        void operator()(const TextColumn& c) const { r.*c.field = text.substr(0, c.max); }
        void operator()(const DateColumn& c) const { r.*c.field = ParseDateText(text); }
        void operator()(const CountColumn& c) const {
            r.*c.field = CheckedInt16(TextToInt(text));
        }
        void operator()(const YieldColumn& c) const { r.*c.field = TextToInt(text); }
    };
    std::visit(Visitor{report, text}, column);
}

}  // namespace

const std::string& SummaryHeaderText() {
    static const std::string header =
        "Owner,Address,SHNO,Error,ReportDate,ActCalvingPattern,AnalysisCalvingPattern, "
        "CowsAnalysed,CalvingStart,CalvingStop,"
        "Cdate MSD,PD MSD,Weekto80PC,Clusters,AnalType,NRRSTart,NRRStop,NRR,NRRNo,CRSTart,"
        "CRStop,CR,CRNo,"
        "Yield2yo,n 2yo,YieldMature,n Mature,"
        "MSD,EOMating,EOAI,SR10d,SR10d(n),SR3wk,SR3wk(n),ICR6wklow,ICR6wkHigh,ICR6wk,"
        "ICR6wkCarryOvers,"
        "NICR,NICRLow, NICRHigh,"
        "Calv3wk2yo,Calv6wk2yo,Tot2yo,Calv3wk,Calv6wk,Calv9wk,nCalved,SR3wkEarlyMature,"
        "SR3wkEM(n),"
        "SplitNICR,SplitNICRLow,SplitNICRHigh,SR80d,SR80d(n),"
        "ICR100dLower,ICR100dUPper,ICR100d,NICR200d,NICRLow, NICRHigh, nCalved130, "
        "Tech1,Insems,Pregs,.....";
    return header;
}

std::string FormatYield(double litres) { return FormatFixed(litres, 1); }

std::string FormatConceptionValue(double value) { return FormatFixed(value, 2); }

std::string SummaryRowText(const HerdReport& report) {
    std::string row;
    row.reserve(512);
    for (const Column& column : Columns()) {
        AppendColumn(row, report, column);
        row += ',';
    }
    for (std::size_t i = 0; i < kNamedTechnicians; ++i) {
        const TechnicianEntry& entry = report.Technicians[i];
        if (entry.Insems <= 0) continue;
        AppendQuoted(row, entry.Tech);
        row += ',';
        AppendInteger(row, entry.Insems);
        row += ',';
        AppendInteger(row, entry.Pregs);
        row += ',';
    }
    const TechnicianEntry& unspecified = report.Technicians[kUnspecifiedTechnician];
    if (unspecified.Insems > 0) {
        row += "\"UNSPEC\",";
        AppendInteger(row, unspecified.Insems);
        row += ',';
        AppendInteger(row, unspecified.Pregs);
    }
    return row;
}

std::string ConceptionLineText(const HerdReport& report) {
    std::string line = HerdNumberText(report.SHNO);
    for (double value : report.ConceptionByDay) {
        line += ',';
        line += FormatConceptionValue(value);
    }
    return line;
}

void WriteCrLfLine(std::ostream& out, std::string_view text, std::string_view fileName) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.write("\r\n", 2);
    out.flush();
    if (!out) throw OvistaError("Could not write " + std::string(fileName));
}

void WriteSummaryHeader(std::ostream& summary) {
    WriteCrLfLine(summary, SummaryHeaderText(), kSummaryFileName);
}

void WriteSummaryRow(HerdReport& report, std::ostream& summary, std::ostream& conception) {
    report.ReportDate = Today();
    const std::string row = SummaryRowText(report);
    const std::string line = ConceptionLineText(report);
    WriteCrLfLine(summary, row, kSummaryFileName);
    WriteCrLfLine(conception, line, kConceptionFileName);
}

std::string SummaryRowLine(HerdReport& report) {
    report.ReportDate = Today();
    return SummaryRowText(report) + "\r\n";
}

std::vector<std::string> SplitSummaryRow(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size() && line[i] != '\0'; ++i) {
        const char c = line[i];
        if (c == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::string& field : fields) field = TrimBlanks(field);
    return fields;
}

HerdReport ReadSummaryRow(std::string_view line) {
    const std::vector<std::string> fields = SplitSummaryRow(line);
    auto field = [&fields](std::size_t i) -> const std::string& {
        static const std::string empty;
        return i < fields.size() ? fields[i] : empty;
    };
    HerdReport report;
    ClearHerdReport(report);
    const std::vector<Column>& columns = Columns();
    for (std::size_t i = 0; i < columns.size(); ++i) ReadColumn(report, columns[i], field(i));
    for (std::size_t t = 0; t < kNamedTechnicians; ++t) {
        const std::size_t first = columns.size() + 3 * t;
        TechnicianEntry& entry = report.Technicians[t];
        entry.Tech = field(first).substr(0, kTechMax);
        entry.Insems = CheckedInt16(TextToInt(field(first + 1)));
        entry.Pregs = CheckedInt16(TextToInt(field(first + 2)));
    }
    return report;
}

}  // namespace ovista
