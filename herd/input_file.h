#pragma once
// Files that people and other programs hand the program: herd files, batch files, summary
// files, stored results, pictures. A path may name anything: a named pipe that nobody writes
// to, a device that never ends, a file of gigabytes. Such a path is refused before a byte is
// read, so that a typing slip in a batch line costs that line and never hangs the run or
// takes the machine's memory.
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "herd/errors.h"

namespace ovista {

inline constexpr std::uint64_t kKilobyte = std::uint64_t{1} << 10;
inline constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;

// What a file of one kind may be.
struct InputKind {
    const char* name;         // for messages: "a herd file"
    std::uint64_t maxBytes;   // a larger file is refused unread
};

// A path that names something other than a regular file ("<path> is not a regular file"),
// or a file larger than its kind may be ("<path> is <n> bytes; a herd file may hold at most
// 256 MB").
class InputFileError : public OvistaError {
public:
    using OvistaError::OvistaError;
};

// A regular file opened for reading. The path is looked at before it is opened and opened
// without waiting, so a named pipe or a device never holds the run up.
class RegularFileInput {
public:
    // Not open (IsOpen false) when the path does not exist, cannot be opened or is a folder,
    // which callers report as they always did. InputFileError when it names anything else
    // that is not a regular file, or a file larger than kind.maxBytes.
    RegularFileInput(const std::string& path, const InputKind& kind);
    ~RegularFileInput();
    RegularFileInput(const RegularFileInput&) = delete;
    RegularFileInput& operator=(const RegularFileInput&) = delete;

    bool IsOpen() const { return buffer_ != nullptr; }
    // The size when it was opened, in bytes.
    std::uint64_t Size() const { return size_; }
    // The file's bytes from where reading stands; an empty stream when not open.
    std::istream& Stream() { return stream_; }
    // True when a read failed, or the file grew beyond its kind's size while it was read;
    // what was read before stays read.
    bool ReadFailed() const;
    // Everything not yet read.
    std::string ReadAll();

    // Stream() ends at byte offset end of the file, for a reader that leaves the rest to
    // another; ReadOn lifts that end again.
    void StopAt(std::uint64_t end);
    void ReadOn() { StopAt(UINT64_MAX); }
    // Up to count bytes from byte offset at of the file, whatever Stream() reads meanwhile
    // (another thread may use both at once): 0 at the end, -1 when the read fails or goes
    // beyond its kind's size.
    std::int64_t ReadAt(std::uint64_t at, char* to, std::size_t count) const;

private:
    class Buffer;
    std::unique_ptr<Buffer> buffer_;
    std::uint64_t size_ = 0;
    std::istream stream_{nullptr};
};

}  // namespace ovista
