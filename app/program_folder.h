#pragma once
// Where the program is and where the main window keeps its own files ("DEFLT.TXT" and the
// one-line batch file). Next to the program, as always; but an installed program's folder
// belongs to the system and cannot be written by its users, so then the user's
// configuration folder takes them.
#include <string>

namespace ovista {

// The real folder of the running program, symbolic links resolved (an installed
// /usr/bin/ovista that links to /usr/lib/ovista/ovista is in /usr/lib/ovista). Needs the
// application object.
std::string ExecutableFolder();

// $XDG_CONFIG_HOME/ovista; $HOME/.config/ovista when XDG_CONFIG_HOME is unset, empty or
// relative.
std::string UserConfigFolder();

// True when this process may create files in folder.
bool FolderWritable(const std::string& folder);

}  // namespace ovista
