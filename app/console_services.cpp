#include "app/console_services.h"

#include <iostream>

namespace ovista {

ConsoleServices::ConsoleServices(std::ostream& out) : out_(out) {}

ConsoleServices::ConsoleServices() : ConsoleServices(std::cerr) {}

// A message and its line end in one piece: one write on an unbuffered standard error, as a
// batch says something for every herd.
void ConsoleServices::ShowInfo(const std::string& message) { out_ << message + '\n' << std::flush; }

std::unique_ptr<StatusWindow> ConsoleServices::ShowStatus(const std::string& message) {
    out_ << message + '\n' << std::flush;
    return std::make_unique<StatusWindow>();
}

}  // namespace ovista
