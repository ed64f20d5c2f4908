#pragma once
// Messages and status windows on the screen, for a person at the desk.
#include <vector>

#include "herd/services.h"

class QWidget;

namespace ovista {

class QtServices : public UserServices {
public:
    QtServices();
    ~QtServices() override;
    QtServices(const QtServices&) = delete;
    QtServices& operator=(const QtServices&) = delete;

    // Modal information box with one OK button, its text centred.
    void ShowInfo(const std::string& message) override;
    // The same with the icon of its kind, titled "Ovista", over the active window. The
    // status windows stand aside while it is open, so that none covers it.
    void ShowMessage(MessageKind kind, const std::string& message) override;
    // Frameless stay-on-top window `TStatusForm`, centred on the screen and painted at once;
    // its progress panel stays hidden. It is the top of the status stack until it is
    // destroyed, when the one below is raised again. Destroy it before these services.
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override;
    void PumpMessages() override;

    // The status window on top of the stack; nullptr when none is open.
    QWidget* TopStatusWindow() const;

private:
    friend class QtStatusWindow;
    void Remove(QWidget* window);

    std::vector<QWidget*> stack_;  // bottom first
};

}  // namespace ovista
