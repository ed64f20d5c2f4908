#include "analysis/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

namespace ovista {
namespace {

struct TestLimit {
    std::uint64_t bytes = 0;
    int error = ENOSPC;
};

std::map<std::string, TestLimit>& TestLimits() {
    static std::map<std::string, TestLimit> limits;
    return limits;
}

std::string FileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::optional<TestLimit> LimitFor(const std::string& path) {
    const auto& limits = TestLimits();
    if (limits.empty()) return std::nullopt;
    if (const auto whole = limits.find(path); whole != limits.end()) return whole->second;
    const auto found = limits.find(FileName(path));
    if (found != limits.end()) return found->second;
    for (const auto& [name, limit] : limits) {
        if (name.ends_with('/') && path.starts_with(name)) return limit;
    }
    return std::nullopt;
}

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

OutputFileError::OutputFileError(const std::string& verb, const std::string& path,
                                 const std::string& reason, int error)
    : OvistaError("Could not " + verb + " " + FileName(path) + ": " + reason),
      path_(path),
      reason_(reason),
      error_(error) {}

bool OutputFileError::ForWantOfSpace() const { return error_ == ENOSPC || error_ == EDQUOT; }

OutputFile::~OutputFile() { Close(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), length_(other.length_), path_(std::move(other.path_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        length_ = other.length_;
        path_ = std::move(other.path_);
    }
    return *this;
}

void OutputFile::Create(const std::string& path) {
    Open(path, O_TRUNC, "create");
}

void OutputFile::OpenForAppending(const std::string& path) { Open(path, 0, "open"); }

void OutputFile::Open(const std::string& path, int flags, const char* verb) {
    Close();
    path_ = path;
    // Always appending: after a cut back the next line goes to the new end, leaving no gap.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | flags, 0666);
    if (fd < 0) Fail(verb, errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        Fail(verb, error);
    }
    fd_ = fd;
    length_ = static_cast<std::uint64_t>(status.st_size);
}

void OutputFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void OutputFile::Write(std::string_view text) {
    if (fd_ < 0) Fail("write", EBADF);
    const std::uint64_t before = length_;
    const std::optional<TestLimit> limit = LimitFor(path_);
    std::size_t done = 0;
    int error = 0;
    while (done < text.size()) {
        std::size_t chunk = text.size() - done;
        if (limit) {
            const std::uint64_t room = limit->bytes > length_ ? limit->bytes - length_ : 0;
            if (room == 0) {
                error = limit->error;
                break;
            }
            chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, room));
        }
        const ssize_t written = ::write(fd_, text.data() + done, chunk);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        done += static_cast<std::size_t>(written);
        length_ += static_cast<std::uint64_t>(written);
    }
    if (error == 0) return;
    if (length_ != before && ::ftruncate(fd_, static_cast<off_t>(before)) != 0) {
        const int cutError = errno;
        throw OutputFileError("write", path_,
                              Reason(error) + " (and the part written could not be removed: " +
                                  Reason(cutError) + ")",
                              error);
    }
    length_ = before;
    Fail("write", error);
}

void OutputFile::WriteLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 2);
    line += text;
    line += "\r\n";
    Write(line);
}

void OutputFile::CutBackTo(std::uint64_t length) {
    if (fd_ < 0) Fail("write", EBADF);
    if (length >= length_) return;
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail("write", errno);
    length_ = length;
}

void OutputFile::Fail(const char* verb, int error) const {
    throw OutputFileError(verb, path_, Reason(error), error);
}

void LimitOutputFileForTesting(const std::string& fileName, std::optional<std::uint64_t> bytes,
                               int error) {
    if (bytes) {
        TestLimits()[fileName] = TestLimit{*bytes, error};
    } else {
        TestLimits().erase(fileName);
    }
}

}  // namespace ovista
