#pragma once
// One run at a time in a folder. Two runs writing the same summary file would mix and tear
// each other's rows, so a run holds an advisory lock on a file in its working folder for its
// whole length. The system releases the lock with the process, however it ends.
#include <string>

namespace ovista {

inline constexpr const char* kLockFileName = ".ovista.lock";

class FolderLock {
public:
    enum class Result {
        Held,      // this run holds the folder
        InUse,     // another run holds it: touch nothing
        Unlocked,  // the folder cannot hold a lock file; its own files will say why
    };

    FolderLock() = default;
    // Removes the lock file while still holding the lock, so that no file of ours is left
    // beside the outputs, then releases it.
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // folderPath ends with a separator (WorkingFolderPath). Never waits.
    Result Take(const std::string& folderPath);

private:
    int fd_ = -1;
    std::string path_;
};

// The message of a run that finds its folder in use.
std::string FolderInUseMessage(const std::string& folder);

}  // namespace ovista
