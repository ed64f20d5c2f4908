#pragma once
// The working folder (TAMSEL_DIR): where a run writes its log, the summary and conception
// files and the analysis traces. A batch run points it at the transfer folder that the
// calling herd-management software gave; every other run keeps the default.
#include <optional>
#include <string>
#include <string_view>

namespace ovista {

// Longest working-folder text kept, in characters; a longer folder is cut.
inline constexpr std::size_t kWorkingFolderMax = 250;

// The folder separator of this platform: "\" on Windows, "/" elsewhere.
char FolderSeparator();

// "C:\TAMSEL" on Windows, $HOME/TAMSEL elsewhere (TAMSEL in the current folder without a
// home).
std::string DefaultWorkingFolder();

// The working folder of a run that chose folder (no separator appended): its first
// kWorkingFolderMax characters; the default when none was chosen (an empty text is the
// current folder).
std::string WorkingFolder(const std::optional<std::string>& chosen);

// WorkingFolder(chosen) with the separator appended when it is not empty and does not
// already end in one, ready to put a file name after. When the folder is the default and
// does not exist it is created first (failures are left to the file operations that follow).
std::string WorkingFolderPath(const std::optional<std::string>& chosen);

// folder + separator, as WorkingFolderPath does it, for any folder text.
std::string WithTrailingSeparator(std::string folder);

}  // namespace ovista
