// Whole herd CSV files through LoadHerdFile. A file from any program or spreadsheet (but
// UTF-16 text, which is refused) must be read to its end: bad rows are reported and skipped, never crash the reader, and the list
// it builds stays a sorted list of distinct lactation keys.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

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

class CheckingServices : public UserServices {
public:
    void ShowInfo(const std::string& message) override {
        FUZZ_CHECK(IsOurRowMessage(message) || message == kUtf16TextMessage, message.substr(0, 300));
    }
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

}  // namespace
}  // namespace ovista

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    static ovista::CheckingServices services;
    ovista::InstallServices(&services);
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
    try {
        read = LoadHerdFile(path, "fuzz herd", list, header);
    } catch (const OvistaError&) {
        return 0;
    }
    // UTF-16 text alone is refused, as a file that cannot be opened.
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
        FUZZ_CHECK(!read && list != nullptr && list->Count() == 0 && header[0] == "untouched", "UTF-16");
        return 0;
    }
    FUZZ_CHECK(read, "an existing file must be read to its end");
    FUZZ_CHECK(list != nullptr, "");
    FUZZ_CHECK(header[0].empty() || header[0].size() == 9, header[0]);  // cleared, or "FARMER ID" in any case

    // Keys are distinct and in ascending order; every record carries a key of its own.
    CowRecord record;
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
    return 0;
}
