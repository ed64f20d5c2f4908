#pragma once
// A text file that other programs read line by line while we write it: the summary and
// conception files, the batch log and the traces. It only ever holds whole lines. Each write
// goes straight to the file; when the file cannot take all of it (a full disk, a quota, a
// failing device) what did get written is cut off again, so the file ends with the last
// line that was written whole, and the caller learns why.
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "herd/errors.h"

namespace ovista {

// An output file could not be created or written. what() names the file and the system's
// reason: "Could not write TAMSLREP.CSV: No space left on device".
class OutputFileError : public OvistaError {
public:
    // error: the system's error number behind reason (0 when there is none).
    OutputFileError(const std::string& verb, const std::string& path, const std::string& reason,
                    int error = 0);
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }
    // The device or the user's quota is full: other files on it cannot grow either.
    bool ForWantOfSpace() const;
    // The system's error number behind the reason (0 when there is none).
    int Error() const { return error_; }

private:
    std::string path_;
    std::string reason_;
    int error_ = 0;
};

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file empty (an old one is emptied). OutputFileError("create") when not.
    void Create(const std::string& path);
    // Opens the file for adding lines at its end, creating it when missing.
    void OpenForAppending(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Writes text, which must end with a line end, through to the file. When it cannot all
    // be written, the file is cut back to its length before the call and OutputFileError
    // ("write") is thrown; the file stays open.
    void Write(std::string_view text);
    // Writes text and CR LF as one write.
    void WriteLine(std::string_view text);
    // Cuts the file back to an earlier length: the lines of a herd that another file could
    // not take. OutputFileError when the system refuses.
    void CutBackTo(std::uint64_t length);
    // Another process wrote to the file since: its length is now length.
    void Resume(std::uint64_t length) { length_ = length; }

    std::uint64_t Length() const { return length_; }
    const std::string& Path() const { return path_; }

private:
    void Open(const std::string& path, int flags, const char* verb);
    [[noreturn]] void Fail(const char* verb, int error) const;

    int fd_ = -1;
    std::uint64_t length_ = 0;
    std::string path_;
};

// For tests: every output file with this file name refuses to grow beyond bytes, as a
// full disk does (the bytes that fit are written, then error, "No space left on device" by
// default). A whole path limits that file only; a name ending in "/" limits every file in
// that folder and the folders below it, each file on its own. std::nullopt lifts the limit.
// Not for use by the program.
void LimitOutputFileForTesting(const std::string& fileName, std::optional<std::uint64_t> bytes,
                               int error = ENOSPC);

}  // namespace ovista
