#include "gui/pdf_folder_check.h"

#include <filesystem>
#include <system_error>

#include "gui/config_folder.h"

namespace ovista {

std::string PdfFolderProblem(const std::string& folder) {
    namespace fs = std::filesystem;
    if (folder.empty()) return "no folder is given";
    std::error_code error;
    fs::path path = fs::absolute(fs::path(folder), error);
    if (error) return error.message();
    // The folder itself, or the nearest folder above it that is there: the run makes the rest.
    bool missing = false;
    while (!fs::exists(fs::status(path, error))) {
        if (!path.has_relative_path()) return "the folder cannot be found";
        missing = true;
        path = path.parent_path();
    }
    if (!fs::is_directory(path, error)) {
        return missing ? path.string() + " is a file, not a folder"
                       : "a file of that name is in the way";
    }
    if (!FolderWritable(path.string())) {
        return missing ? path.string() + " cannot be written, so the folder cannot be made in it"
                       : "the folder cannot be written";
    }
    return {};
}

}  // namespace ovista
