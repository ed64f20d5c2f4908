#pragma once
// User services for tests: records every message box, status window and message pump
// instead of showing anything. Installed for the lifetime of the object.
#include <memory>
#include <string>
#include <vector>

#include "herd/services.h"

namespace ovista::testing {

class RecordingServices : public UserServices {
public:
    RecordingServices() { InstallServices(this); }
    ~RecordingServices() override { InstallServices(nullptr); }
    RecordingServices(const RecordingServices&) = delete;
    RecordingServices& operator=(const RecordingServices&) = delete;

    void ShowInfo(const std::string& message) override {
        ShowMessage(MessageKind::Information, message);
    }
    void ShowMessage(MessageKind kind, const std::string& message) override {
        infos.push_back(message);
        kinds.push_back(kind);
    }

    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override {
        statuses.push_back(message);
        ++openStatusWindows;
        return std::make_unique<Window>(*this);
    }

    void PumpMessages() override { ++pumps; }

    std::vector<std::string> infos;     // message box texts, in order
    std::vector<MessageKind> kinds;     // the kind of each message box
    std::vector<std::string> statuses;  // status window texts, in order of opening
    int openStatusWindows = 0;          // status windows not yet closed
    int pumps = 0;

private:
    class Window : public StatusWindow {
    public:
        explicit Window(RecordingServices& owner) : owner_(owner) {}
        ~Window() override { --owner_.openStatusWindows; }

    private:
        RecordingServices& owner_;
    };
};

}  // namespace ovista::testing
