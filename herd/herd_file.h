#pragma once
// The herd CSV file: an optional farm identification row ("FARMER ID", herd number, owner,
// address), optional column-heading rows ("COWID", ...) and one row per lactation with
// 79 used columns: cow, calving, induction, dry-off, next calving, culling, age, days,
// litres, 14 heat/service entries (date, AI, sire, technician) and 6 pregnancy tests
// (date, weeks pregnant).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "herd/csv_line.h"
#include "herd/errors.h"
#include "herd/herd_list.h"
#include "herd/input_file.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace ovista {

// A file that is not text at all (a picture or a spreadsheet renamed .csv): refused whole
// instead of read as rows of garbage. Its message is "<path> is not a herd CSV file".
class NotHerdFileError : public OvistaError {
public:
    using OvistaError::OvistaError;
};

// Rows that cannot be read are each reported up to this many per file; the rest are counted
// in one message at the end.
inline constexpr int kReportedBadRows = 10;

// All fields of the farm identification row: [0] "FARMER ID", [1] herd number, [2] owner,
// [3] address, as read (the caller cuts them to its own maxima).
using HerdHeaderFields = CsvFields;

// The largest herd file read: a herd of 10,000 cows with ten years of records is under 20 MB.
inline constexpr InputKind kHerdFileInput{"a herd file", 256 * kMegabyte};

// Reads a herd file into a new list of lactations keyed by cow and calving date.
// list: replaced by a new list in every case, also when the file cannot be opened.
// header: cleared once the file is open, then set from each identification row (the last
// one wins); untouched when the file cannot be opened.
// herdLabel: shown in the progress text until an identification row gives its herd number.
// A UTF-8 byte-order mark at the start is skipped.
// The file is read a slice at a time. Returns true when the file was read to its end, false
// when it could not be opened or a read failed (no message; the caller reports it; a read
// that fails after the first slice does so after the rows before it) or holds UTF-16 text
// (message kUtf16TextMessage, which names no file: the caller's message service adds it;
// header untouched). A row that cannot be parsed is reported in a message box with its line
// number and skipped; reading goes on. After kReportedBadRows such rows one last message
// says how many more were skipped. InputFileError, before anything is read, for a path that
// is not a regular file (a folder gives false) or a file beyond kHerdFileInput;
// StopRequested when the run is asked to stop while the file is read. NotHerdFileError
// when the file's first 4 KB hold a NUL byte or are mostly control bytes
// (header untouched).
// services: where its messages, status window and message pump go.
bool LoadHerdFile(const std::string& fileName, const std::string& herdLabel,
                  std::unique_ptr<HerdList>& list, HerdHeaderFields& header,
                  UserServices& services = Services());

// A herd file of at least this many bytes is read in two halves on two cores.
inline constexpr std::uint64_t kTwoReaderBytes = 256 * kKilobyte;

// How many cores read one herd file: 2 (the default on a machine of two or more) for files
// of at least minBytes (0: as before; kTwoReaderBytes at first), else 1. For runs whose
// other cores are busy, and for tests.
void SetHerdFileReaders(int readers, std::uint64_t minBytes = 0);
int HerdFileReaders();

// The key of a lactation: cow identifier cut or space-filled to 11 characters, then the
// calving day number right-aligned in 9 (20 characters in all). One cow's lactations stand
// together in calving order.
std::string MakeHerdKey(std::string_view cowId, Date calved);

// Induction code of an upper-cased, trimmed induction text: "TRUE" or I.. 1, A.. 2, L.. 3,
// N.. 0, a number its value; any other text leaves code as it was. IntegerError for text
// that starts with a digit but is not an integer, RangeError when it exceeds 16 bits.
void DecodeInductionCode(std::string_view text, std::int16_t& code);

}  // namespace ovista
