#include "herd/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <streambuf>

namespace ovista {
namespace {

// "256 MB", "64 KB" or "100 bytes".
std::string SizeText(std::uint64_t bytes) {
    if (bytes >= kMegabyte && bytes % kMegabyte == 0) return std::to_string(bytes / kMegabyte) + " MB";
    if (bytes >= kKilobyte && bytes % kKilobyte == 0) return std::to_string(bytes / kKilobyte) + " KB";
    return std::to_string(bytes) + " bytes";
}

// Refuses what status describes unless it is a regular file of the kind's size.
void CheckRegularFile(const std::string& path, const struct stat& status, const InputKind& kind) {
    if (!S_ISREG(status.st_mode)) throw InputFileError(path + " is not a regular file");
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > kind.maxBytes) {
        throw InputFileError(path + " is " + std::to_string(size) + " bytes; " + kind.name +
                             " may hold at most " + SizeText(kind.maxBytes));
    }
}

}  // namespace

// Reads the file, never beyond the kind's size.
class RegularFileInput::Buffer : public std::streambuf {
public:
    Buffer(int fd, std::uint64_t limit) : fd_(fd), limit_(limit) {}
    ~Buffer() override { ::close(fd_); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    bool Failed() const { return failed_; }
    void StopAt(std::uint64_t end) { stop_ = end; }

    std::int64_t ReadAt(std::uint64_t at, char* to, std::size_t count) const {
        for (;;) {
            const ssize_t got = ::pread(fd_, to, count, static_cast<off_t>(at));
            if (got >= 0) return at + static_cast<std::uint64_t>(got) > limit_ ? -1 : got;
            if (errno != EINTR) return -1;
        }
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const std::size_t got = ReadSlice(slice_.get(), kSlice);
        if (got == 0) return traits_type::eof();
        setg(slice_.get(), slice_.get(), slice_.get() + got);
        return traits_type::to_int_type(*gptr());
    }

    // Large reads go straight into the caller's memory.
    std::streamsize xsgetn(char* to, std::streamsize count) override {
        std::streamsize done = std::min<std::streamsize>(count, egptr() - gptr());
        if (done > 0) {
            std::memcpy(to, gptr(), static_cast<std::size_t>(done));
            gbump(static_cast<int>(done));
        }
        while (done < count) {
            const std::size_t got = ReadSlice(to + done, static_cast<std::size_t>(count - done));
            if (got == 0) break;
            done += static_cast<std::streamsize>(got);
        }
        return done;
    }

private:
    static constexpr std::size_t kSlice = 1 << 16;

    // Up to count bytes; 0 at the end and after a failure.
    std::size_t ReadSlice(char* to, std::size_t count) {
        if (failed_ || read_ >= stop_) return 0;
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, stop_ - read_));
        for (;;) {
            const ssize_t got = ::read(fd_, to, count);
            if (got >= 0) {
                read_ += static_cast<std::uint64_t>(got);
                if (read_ > limit_) {  // it grew since it was looked at
                    failed_ = true;
                    return 0;
                }
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                failed_ = true;
                return 0;
            }
        }
    }

    int fd_;
    std::uint64_t limit_;
    std::uint64_t read_ = 0;
    std::uint64_t stop_ = UINT64_MAX;
    bool failed_ = false;
    std::unique_ptr<char[]> slice_ = std::make_unique<char[]>(kSlice);
};

RegularFileInput::RegularFileInput(const std::string& path, const InputKind& kind) {
    // Looked at before it is opened: opening a pipe waits for a writer, and opening some
    // devices does something.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) return;
    CheckRegularFile(path, status, kind);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    // The path may have been given to something else since it was looked at.
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return;
    }
    try {
        CheckRegularFile(path, status, kind);
    } catch (...) {
        ::close(fd);
        throw;
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
    buffer_ = std::make_unique<Buffer>(fd, kind.maxBytes);
    stream_.rdbuf(buffer_.get());
}

RegularFileInput::~RegularFileInput() { stream_.rdbuf(nullptr); }

bool RegularFileInput::ReadFailed() const { return buffer_ != nullptr && buffer_->Failed(); }

void RegularFileInput::StopAt(std::uint64_t end) {
    if (buffer_) buffer_->StopAt(end);
}

std::int64_t RegularFileInput::ReadAt(std::uint64_t at, char* to, std::size_t count) const {
    return buffer_ ? buffer_->ReadAt(at, to, count) : -1;
}

std::string RegularFileInput::ReadAll() {
    std::string bytes;
    if (!IsOpen()) return bytes;
    bytes.resize(static_cast<std::size_t>(size_));
    bytes.resize(static_cast<std::size_t>(buffer_->sgetn(bytes.data(), static_cast<std::streamsize>(bytes.size()))));
    char slice[1 << 12];
    for (std::streamsize got; (got = buffer_->sgetn(slice, sizeof slice)) > 0;) {
        bytes.append(slice, static_cast<std::size_t>(got));
    }
    return bytes;
}

}  // namespace ovista
