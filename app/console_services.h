#pragma once
// Messages for runs without a person at the screen: every message and status text becomes
// one line on standard error, so the calling software can log it; nothing ever waits.
#include <iosfwd>

#include "herd/services.h"

namespace ovista {

class ConsoleServices : public UserServices {
public:
    // Lines go to out (standard error by default), which must outlive the services.
    explicit ConsoleServices(std::ostream& out);
    ConsoleServices();

    void ShowInfo(const std::string& message) override;
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override;
    void PumpMessages() override {}

private:
    std::ostream& out_;
};

}  // namespace ovista
