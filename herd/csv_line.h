#pragma once
// Lines and comma-separated fields of the 8-bit text files we read: herd files and batch
// files. Both come from other programs, so the rules are lenient: LF or CR LF line ends,
// a last line without one, double quotes around fields that hold commas.
#include <array>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

namespace ovista {

inline constexpr int kCsvFields = 100;            // fields kept per line; later ones are ignored
inline constexpr std::size_t kCsvFieldMax = 255;  // characters kept per field; the rest is cut

// Fields of one line, numbered from 0 here (column 1 is fields[0]).
using CsvFields = std::array<std::string, kCsvFields>;
// The same as views into the text of one split, for readers of many lines.
using CsvFieldViews = std::array<std::string_view, kCsvFields>;

// Today's editors and spreadsheets may begin a text file with a byte-order mark. Called
// before the first line: skips a UTF-8 mark (EF BB BF), so the first line reads as without
// it, and returns true. Returns false for UTF-16 text (FF FE or FE FF), whose bytes our
// readers cannot take; the caller refuses the file with kUtf16TextMessage.
bool SkipByteOrderMark(std::istream& in);
inline constexpr const char* kUtf16TextMessage = "UTF-16 text is not supported; save it as CSV";

// Reads the next line into line, without its terminator; false (line empty) when the
// stream was already at its end. A line feed ends a line; a carriage return is dropped and
// the byte after it read in its place (so CR LF ends a line, CR CR LF keeps one CR and a
// lone CR joins its neighbours). The end of the stream also ends a line. Lines of any
// length are read whole.
bool ReadTextLine(std::istream& in, std::string& line);

// Splits line at commas outside double quotes into fields. Every slot is cleared first, so
// missing trailing fields are empty. A double quote toggles quoting and is dropped; the scan
// stops at a NUL character. Each field keeps at most kCsvFieldMax characters and is then
// trimmed of spaces and NULs (tabs stay). Fields after the 100th are ignored.
void SplitCsvLine(std::string_view line, CsvFields& fields);
// The same without a string per field, for readers of many lines: the fields are views into
// the line or into the splitter's own storage, valid while the line's text stands and until
// the next split.
class CsvSplitter {
public:
    const CsvFieldViews& Split(std::string_view line);

private:
    void ClearWritten();

    CsvFieldViews fields_{};
    std::string storage_;
    std::array<std::uint8_t, kCsvFields> set_{};  // the slots the last split wrote
    std::size_t setCount_ = 0;
};

// The lines of a stream, cut as ReadTextLine cuts them, read a slice at a time: a herd file
// is never held whole, only the slice being cut and a line that runs on past it (a line
// longer than a slice widens the slice).
class SlicedLines {
public:
    static constexpr std::size_t kSlice = 64 * 1024;

    explicit SlicedLines(std::streambuf& in, std::size_t slice = kSlice);
    SlicedLines(const SlicedLines&) = delete;
    SlicedLines& operator=(const SlicedLines&) = delete;

    // The bytes not yet cut into lines, at least count of them when the stream holds that
    // many (count at most the slice).
    std::string_view Ahead(std::size_t count);
    // The next line without its terminator, valid until the next call; false at the end.
    // StopRequested when the run is asked to stop while a slice is read.
    bool Next(std::string_view& line);

private:
    // Reads on after the bytes not yet cut; false at the end of the stream.
    bool Fill();

    std::streambuf& in_;
    std::unique_ptr<char[]> bytes_;
    std::size_t size_;
    std::size_t begin_ = 0;    // the first byte not yet cut
    std::size_t end_ = 0;      // the end of what was read
    std::size_t scanned_ = 0;  // bytes from begin_ known to hold no line feed
    bool atEnd_ = false;
    std::string joined_;  // a line whose carriage returns had to be taken out
};

}  // namespace ovista
