#include "app/console_services.h"

#include <iostream>

namespace ovista {

ConsoleServices::ConsoleServices(std::ostream& out) : out_(out) {}

ConsoleServices::ConsoleServices() : ConsoleServices(std::cerr) {}

void ConsoleServices::ShowInfo(const std::string& message) { out_ << message << std::endl; }

std::unique_ptr<StatusWindow> ConsoleServices::ShowStatus(const std::string& message) {
    out_ << message << std::endl;
    return std::make_unique<StatusWindow>();
}

}  // namespace ovista
