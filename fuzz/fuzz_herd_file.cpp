// Whole herd CSV files through LoadHerdFile. A file from any program or spreadsheet (but
// UTF-16 text, which is refused) must be read to its end: bad rows are reported and skipped, never crash the reader, and the list
// it builds stays a sorted list of distinct lactation keys. A file that is not text (a NUL
// or many control bytes in its first 4 KB) is refused whole, and only such a file.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "herd/errors.h"
#include "herd/herd_file.h"
#include "herd/services.h"

namespace ovista {
namespace {

// The reader reports a bad row as "Error " + our own error text + " at line " + number,
// then the row's first seven columns, each after a CR LF (fields never hold a line feed).
// Any other error text means an exception of the standard library (an out-of-range substr,
// a failed conversion) was taken for a row error: that is a fault of the reader.
bool IsOurRowMessage(const std::string& message) {
    const std::size_t firstBreak = message.find("\r\n");
    if (firstBreak == std::string::npos) return false;
    if (std::count(message.begin(), message.end(), '\n') != 7) return false;
    std::string head = message.substr(0, firstBreak);
    if (head.rfind("Error ", 0) != 0) return false;
    const std::size_t digits = head.find_last_not_of("0123456789");
    if (digits == std::string::npos || digits + 1 == head.size()) return false;
    head.resize(digits + 1);
    const std::string_view atLine = " at line ";
    if (head.size() < 6 + atLine.size() || head.compare(head.size() - atLine.size(), atLine.size(), atLine) != 0) {
        return false;
    }
    const std::string error = head.substr(6, head.size() - 6 - atLine.size());
    auto endsWith = [&](std::string_view tail) {
        return error.size() >= tail.size() && error.compare(error.size() - tail.size(), tail.size(), tail) == 0;
    };
    return error == "Range check error" ||
           (!error.empty() && error.front() == '\'' &&
            (endsWith("' is not a valid date") || endsWith("' is not a valid integer value")));
}

// "n further rows could not be read and were skipped" (one row: "was"), after ten row
// messages of one file.
bool IsFurtherRowsMessage(const std::string& message) {
    const std::size_t digits = message.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos) return false;
    const std::string rest = message.substr(digits);
    return rest == " further rows could not be read and were skipped" ||
           (message.substr(0, digits) == "1" && rest == " further row could not be read and was skipped");
}

// What the reader refuses as not text: a NUL in the first 4 KB after a UTF-8 byte-order
// mark, or more than one byte in ten of them a control byte other than tab, line feed,
// carriage return, form feed and ^Z.
bool LooksBinary(const std::uint8_t* data, std::size_t size) {
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    const std::size_t head = std::min<std::size_t>(size, 4096);
    std::size_t control = 0;
    for (std::size_t i = 0; i < head; ++i) {
        const std::uint8_t b = data[i];
        if (b == 0) return true;
        const bool allowed = b == 9 || b == 10 || b == 13 || b == 12 || b == 26;
        if ((b < 32 && !allowed) || b == 127) ++control;
    }
    return control * 10 > head;
}

class CheckingServices : public UserServices {
public:
    void ShowInfo(const std::string& message) override {
        if (IsOurRowMessage(message)) {
            ++rowMessages;
            FUZZ_CHECK(rowMessages <= kReportedBadRows, "more row messages than reported bad rows");
            return;
        }
        if (IsFurtherRowsMessage(message)) {
            FUZZ_CHECK(rowMessages == kReportedBadRows, "a count of further rows before ten row messages");
            return;
        }
        FUZZ_CHECK(message == kUtf16TextMessage, message.substr(0, 300));
    }
    int rowMessages = 0;  // of the file in hand
    std::unique_ptr<StatusWindow> ShowStatus(const std::string&) override {
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override {}
};

// The input lives in an anonymous in-memory file that is rewritten for every run; the
// reader opens it by its /proc path like any other file.
class InputFile {
public:
    InputFile() {
        fd_ = memfd_create("herd.csv", 0);
        if (fd_ >= 0) {
            path_ = "/proc/self/fd/" + std::to_string(fd_);
            if (access(path_.c_str(), R_OK) == 0) return;
            close(fd_);
        }
        // No memfd or no /proc: a plain temporary file.
        char name[] = "/tmp/fuzz_herd_XXXXXX";
        fd_ = mkstemp(name);
        if (fd_ < 0) std::abort();
        path_ = name;
        unlink_ = true;
    }
    ~InputFile() {
        close(fd_);
        if (unlink_) unlink(path_.c_str());
    }

    const std::string& Write(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(fd_, 0) != 0) std::abort();
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        return path_;
    }

private:
    int fd_ = -1;
    std::string path_;
    bool unlink_ = false;
};

// Messages kept to compare two readings of one file.
class KeptServices : public UserServices {
public:
    void ShowInfo(const std::string& message) override { messages.push_back(message); }
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override {
        messages.push_back("status: " + message);
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override {}
    std::vector<std::string> messages;
};

// A reading of a file: whether it was read to its end, its messages, header, keys, records and
// technicians, as text.
std::string Reading(const std::string& path, int readers) {
    SetHerdFileReaders(readers, 1);
    KeptServices kept;
    std::unique_ptr<HerdList> list;
    HerdHeaderFields header;
    std::string text;
    try {
        text = LoadHerdFile(path, "fuzz herd", list, header, kept) ? "read\n" : "not read\n";
    } catch (const OvistaError& error) {
        text = std::string("error ") + error.what() + "\n";
    }
    SetHerdFileReaders(1, kTwoReaderBytes);
    for (const std::string& message : kept.messages) text += message + "\n";
    for (const std::string& field : header) text += field + ",";
    FullCowRecord record;
    for (int i = 1; list != nullptr && i <= list->Count(); ++i) {
        list->GetRecord(i, record);
        std::ostringstream fields;
        PrintTo(record, &fields);
        text += "\n" + std::string(list->KeyAt(i)) + " " + fields.str();
        for (const ServiceRecord& service : record.Services) text += " " + std::string(list->Technician(service.Tech));
    }
    return text;
}

CheckingServices& Checking() {
    static CheckingServices services;
    return services;
}

}  // namespace
}  // namespace ovista

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    ovista::InstallServices(&ovista::Checking());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    static InputFile file;
    const std::string& path = file.Write(data, size);

    std::unique_ptr<HerdList> list;
    HerdHeaderFields header;
    header[0] = "untouched";
    bool read = false;
    Checking().rowMessages = 0;
    const bool utf16 = size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    try {
        read = LoadHerdFile(path, "fuzz herd", list, header);
    } catch (const NotHerdFileError&) {
        FUZZ_CHECK(!utf16 && LooksBinary(data, size), "refused as not text");
        FUZZ_CHECK(header[0] == "untouched" && Checking().rowMessages == 0, "a refused file was read");
        return 0;
    } catch (const OvistaError&) {
        return 0;
    }
    FUZZ_CHECK(utf16 || !LooksBinary(data, size), "binary bytes read as a herd file");
    // UTF-16 text alone is refused, as a file that cannot be opened.
    if (utf16) {
        FUZZ_CHECK(!read && list != nullptr && list->Count() == 0 && header[0] == "untouched", "UTF-16");
        return 0;
    }
    FUZZ_CHECK(read, "an existing file must be read to its end");
    FUZZ_CHECK(list != nullptr, "");
    FUZZ_CHECK(header[0].empty() || header[0].size() == 9, header[0]);  // cleared, or "FARMER ID" in any case

    // Keys are distinct and in ascending order; every record carries a key of its own.
    FullCowRecord record;
    for (int i = 1; i <= list->Count(); ++i) {
        list->GetRecord(i, record);
        FUZZ_CHECK(list->KeyAt(i).size() <= kKeyMaxLength, std::string(list->KeyAt(i)));
        FUZZ_CHECK(CompareKeysCaseBlind(record.Key, list->KeyAt(i)) == 0, record.Key.str() + " | " + std::string(list->KeyAt(i)));
        if (i > 1) {
            FUZZ_CHECK(CompareKeysCaseBlind(list->KeyAt(i - 1), list->KeyAt(i)) < 0,
                       std::string(list->KeyAt(i - 1)) + " | " + std::string(list->KeyAt(i)));
        }
    }
    list->FreeRecords();
    FUZZ_CHECK(list->Count() == 0, "");

    // Read on two cores, the file loads as on one. Lines of blanks before and after it make it
    // large enough, and put its middle, where the second reader starts, in its own rows.
    static InputFile padded;
    const std::string blanks = std::string(1023, ' ') + "\n";
    std::string bytes;
    for (int i = 0; i < 130; ++i) bytes += blanks;
    bytes.append(reinterpret_cast<const char*>(data), size);
    if (size > 0 && data[size - 1] != '\n') bytes += '\n';
    for (int i = 0; i < 130; ++i) bytes += blanks;
    const std::string& paddedPath = padded.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    FUZZ_CHECK(Reading(paddedPath, 2) == Reading(paddedPath, 1), "two readers read otherwise than one");
    return 0;
}
