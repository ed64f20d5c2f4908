#include "gui/config_folder.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ovista {

std::string UserConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/ovista";
    const char* home = std::getenv("HOME");
    const std::string base =
        home != nullptr && *home != '\0' ? home : QDir::homePath().toStdString();
    return base + "/.config/ovista";
}

bool FolderWritable(const std::string& folder) {
    if (!QFileInfo(QString::fromStdString(folder)).isDir()) return false;
#ifdef _WIN32
    return QFileInfo(QString::fromStdString(folder)).isWritable();
#else
    // The kernel's answer, read-only mounts included.
    return ::access(folder.c_str(), W_OK) == 0;
#endif
}

}  // namespace ovista
