#pragma once
// Where the main window keeps its own files ("DEFLT.TXT" and the one-line batch file) when
// the program's folder cannot take them: an installed program's folder belongs to the
// system, not to its users.
#include <string>

namespace ovista {

// $XDG_CONFIG_HOME/ovista; $HOME/.config/ovista when XDG_CONFIG_HOME is unset, empty or
// relative.
std::string UserConfigFolder();

// True when this process may create files in folder.
bool FolderWritable(const std::string& folder);

}  // namespace ovista
