#pragma once
// The analysis trace: plain-text tables that let an adviser follow how a herd's figures came
// about. "DbugQMR.TXT" takes the tables of every analysis stage, "DbugQM1.TXT" one line per
// lactation of the conception tables. Both live in the working folder and are appended to
// herd after herd; a batch empties them at its start. Lines end with CR LF and numbers are
// never localised. The traces are diagnostics: a file that cannot be opened or written is
// left (with whole lines only) and the analysis goes on without it.
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/output_file.h"
#include "herd/textutil.h"

namespace ovista {

inline constexpr const char* kTraceFileName = "DbugQMR.TXT";
inline constexpr const char* kDetailTraceFileName = "DbugQM1.TXT";

// Both traces are always on; the switches stay so a build can turn them off in one place.
inline constexpr bool kTraceSwitch = true;
inline constexpr bool kDetailSwitch = true;

// The value right-aligned in width characters; a wider value is written whole, never cut.
std::string RightAligned(std::int64_t value, int width);
std::string RightAligned(std::string_view text, int width);
// Fixed-point text with the given decimals (exact binary value rounded, ties to even),
// right-aligned in width (0: no padding).
std::string FixedPoint(double value, int decimals, int width = 0);

namespace trace_detail {
inline void Append(std::string& out, std::string_view text) { out += text; }
template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
void Append(std::string& out, T value) {
    out += IntToText(static_cast<std::int64_t>(value));
}
}  // namespace trace_detail

// Joins texts and whole numbers (decimal) into one line. Dates and floating values must be
// formatted by the caller (FormatDateText, FixedPoint), so none is written by accident.
template <typename... Parts>
std::string TraceText(const Parts&... parts) {
    std::string line;
    (trace_detail::Append(line, parts), ...);
    return line;
}

class TraceWriter {
public:
    TraceWriter() = default;
    ~TraceWriter() { Close(); }
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // Opens both files for appending in folder (a separator is added when missing). An
    // empty folder opens nothing; a file that cannot be opened is left closed.
    void Open(const std::string& folder);
    // Writes what is held back and closes both files; harmless when they are not open.
    void Close();

    // True when lines of the analysis trace are written somewhere; callers may skip
    // building a large table when false.
    bool Tracing() const { return trace_.file.IsOpen(); }
    bool Detailing() const { return detail_.file.IsOpen(); }

    // One line of "DbugQMR.TXT"; goes nowhere when the file is not open.
    void Line(std::string_view text);
    // The parts joined as by TraceText, e.g. Line("Funny calvings = ", funny) or Line(count).
    template <typename... Parts>
        requires(sizeof...(Parts) != 1 || (!std::convertible_to<const Parts&, std::string_view> && ...))
    void Line(const Parts&... parts) {
        if (Tracing()) Line(std::string_view(TraceText(parts...)));
    }

    // One line of "DbugQM1.TXT"; goes nowhere when the file is not open.
    void DetailLine(std::string_view text);

private:
    // Lines are held back and written in large pieces, each ending with a line end.
    struct File {
        OutputFile file;
        std::string pending;
    };
    static void Open(File& file, const std::string& path);
    static void Add(File& file, std::string_view text);
    static void Flush(File& file);

    File trace_;
    File detail_;
};

// Why a trace file was last cut short or left out ("Could not write DbugQMR.TXT: No space
// left on device"), once: the call clears it. nullopt when nothing failed.
std::optional<OutputFileError> TakeTraceFailure();

}  // namespace ovista
