#pragma once
// How the program talks to the person at the screen: message boxes, status windows and the
// message pump. The reader and the analysis only see this interface; the application
// installs a windowed or a console implementation at start-up, tests a recording one.
#include <memory>
#include <string>

namespace ovista {

// An open status window; closing (destroying) it makes the one below the top again.
class StatusWindow {
public:
    virtual ~StatusWindow() = default;
};

// What a message says: it shows with the icon of its kind.
enum class MessageKind { Information, Warning, Error };

class UserServices {
public:
    virtual ~UserServices() = default;
    // Information message with an OK button; returns when the person has closed it.
    virtual void ShowInfo(const std::string& message) = 0;
    // A message of its kind (a warning: something was left out; an error: something was not
    // done). Services that do not tell kinds apart show it as ShowInfo does.
    virtual void ShowMessage(MessageKind kind, const std::string& message) {
        (void)kind;
        ShowInfo(message);
    }
    // Opens a status window showing the text; the caller destroys it when the step is done.
    virtual std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) = 0;
    // Lets pending window messages run (repaint, input), then returns.
    virtual void PumpMessages() = 0;
};

// The services in force; a silent implementation until one is installed.
UserServices& Services();
// Installs services (not owned); nullptr restores the silent one.
void InstallServices(UserServices* services);

inline void ShowInfo(const std::string& message) { Services().ShowInfo(message); }
inline void ShowWarning(const std::string& message) {
    Services().ShowMessage(MessageKind::Warning, message);
}
inline void ShowError(const std::string& message) {
    Services().ShowMessage(MessageKind::Error, message);
}
inline std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) {
    return Services().ShowStatus(message);
}
inline void PumpMessages() { Services().PumpMessages(); }

// The same on services handed down by the caller.
inline void ShowWarning(UserServices& services, const std::string& message) {
    services.ShowMessage(MessageKind::Warning, message);
}
inline void ShowError(UserServices& services, const std::string& message) {
    services.ShowMessage(MessageKind::Error, message);
}

}  // namespace ovista
