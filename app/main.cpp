// Start-up: date settings, help and version, the keys, the message services, one run.
#include <QApplication>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_services.h"
#include "app/qt_services.h"
#include "app/startup.h"
#include "herd/services.h"
#include "herd/textutil.h"

int main(int argc, char* argv[]) {
    using namespace ovista;
    if (!SetTodayForRun()) return 2;

    // Taken before the application object, which removes the Qt options it knows.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    switch (FindInfoRequest(arguments)) {
        case InfoRequest::Help: std::cout << HelpText(); return 0;
        case InfoRequest::Version: std::cout << VersionText(); return 0;
        case InfoRequest::None: break;
    }
    const CommandLineValues keys = ParseCommandLine(arguments);

    ChooseOffscreenPlatformWhenHeadless(keys.noDialogs);
    QApplication application(argc, argv);
    QApplication::setApplicationName("ovista");
    QApplication::setApplicationDisplayName("Tamsel Ovista Report");
    QApplication::setApplicationVersion("2.H");

    const bool console = UseConsoleServices(
        keys.noDialogs, QGuiApplication::platformName().toStdString(), DisplayNamedInEnvironment());
    std::unique_ptr<UserServices> services;
    if (console) {
        services = std::make_unique<ConsoleServices>();
    } else {
        services = std::make_unique<QtServices>();
    }
    InstallServices(services.get());
    const int status = RunChosenMode(keys, console);
    InstallServices(nullptr);
    return status;
}
