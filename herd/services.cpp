#include "herd/services.h"

namespace ovista {
namespace {

class SilentServices : public UserServices {
public:
    void ShowInfo(const std::string&) override {}
    std::unique_ptr<StatusWindow> ShowStatus(const std::string&) override {
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override {}
};

SilentServices silent;
UserServices* current = &silent;

}  // namespace

UserServices& Services() { return *current; }

void InstallServices(UserServices* services) { current = services ? services : &silent; }

}  // namespace ovista
