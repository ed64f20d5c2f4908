#include "batch/working_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ovista {
namespace {

std::string& Folder() {
    static std::string folder = DefaultWorkingFolder();
    return folder;
}

}  // namespace

char FolderSeparator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string DefaultWorkingFolder() {
#ifdef _WIN32
    return "C:\\TAMSEL";
#else
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return "TAMSEL";
    return WithTrailingSeparator(home) + "TAMSEL";
#endif
}

const std::string& WorkingFolder() { return Folder(); }

void SetWorkingFolder(std::string_view folder) {
    Folder() = std::string(folder.substr(0, kWorkingFolderMax));
}

void ResetWorkingFolder() { Folder() = DefaultWorkingFolder(); }

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != FolderSeparator()) folder += FolderSeparator();
    return folder;
}

std::string WorkingFolderPath() {
    const std::string& folder = Folder();
    if (folder == DefaultWorkingFolder()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return WithTrailingSeparator(folder);
}

}  // namespace ovista
