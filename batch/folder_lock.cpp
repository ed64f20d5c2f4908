#include "batch/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ovista {

FolderLock::~FolderLock() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
}

FolderLock::Result FolderLock::Take(const std::string& folderPath) {
    const std::string path = folderPath + kLockFileName;
    // A run that ends removes the file it locked; one that opened that file just before
    // then holds a lock nobody else sees, so the lock counts only on the file the name
    // still leads to.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return Result::Unlocked;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? Result::InUse : Result::Unlocked;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            fd_ = fd;
            path_ = path;
            return Result::Held;
        }
        ::close(fd);
    }
    return Result::InUse;
}

std::string FolderInUseMessage(const std::string& folder) {
    return folder + " is in use by another ovista run";
}

}  // namespace ovista
