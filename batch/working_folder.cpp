#include "batch/working_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ovista {

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

std::string WorkingFolder(const std::optional<std::string>& chosen) {
    if (!chosen) return DefaultWorkingFolder();
    return chosen->substr(0, kWorkingFolderMax);
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != FolderSeparator()) folder += FolderSeparator();
    return folder;
}

std::string WorkingFolderPath(const std::optional<std::string>& chosen) {
    const std::string folder = WorkingFolder(chosen);
    if (folder == DefaultWorkingFolder()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return WithTrailingSeparator(folder);
}

}  // namespace ovista
