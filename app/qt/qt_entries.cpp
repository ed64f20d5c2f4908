// The Qt part's entry points: the application object, message boxes, the main window and the
// reports' devices. The thin program loads this library when a run needs one of them.
#include <QApplication>
#include <iostream>
#include <memory>
#include <string>

#include "app/console_services.h"
#include "app/qt_part.h"
#include "app/startup.h"
#include "gui/main_window.h"
#include "gui/qt_services.h"
#include "gui/report_output.h"
#include "herd/services.h"

namespace ovista {
namespace {

int noArguments = 0;
int* argumentCount = &noArguments;
char** arguments = nullptr;

// Herd-management software reads our standard error as messages; Qt's note that a server has
// no runtime folder for it is not one of them. Every other Qt message passes as usual.
void QtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("QStandardPaths: XDG_RUNTIME_DIR")) return;
    std::cerr << qFormatLogMessage(type, context, text).toStdString() << '\n';
}

// Made once. A run other than the main window's ends with exit() and leaves it standing:
// tearing it down would start Qt's font configuration only to free it again.
void MakeApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    qInstallMessageHandler(QtMessage);
    new QApplication(*argumentCount, arguments);
    // No display name: the platform would append it to every window title, and a message
    // box titled "Ovista" would read "Ovista — Tamsel Ovista Report", cut off.
    QApplication::setApplicationName("ovista");
    QApplication::setApplicationVersion("2.H");
}

int RunWithServices(const CommandLineValues& keys) {
    const bool console = UseConsoleServices(
        keys.noDialogs, QGuiApplication::platformName().toStdString(), DisplayNamedInEnvironment());
    std::unique_ptr<UserServices> services;
    if (console) {
        services = std::make_unique<ConsoleServices>();
    } else {
        services = std::make_unique<QtServices>();
    }
    QtReportSink reports;
    const auto openWindow = [&keys] {
        MainWindow window(keys);
        window.show();
        return QApplication::exec();
    };
    return RunWithMessages(*services, [&] { return RunChosenMode(keys, console, *services, reports, openWindow); });
}

}  // namespace
}  // namespace ovista

extern "C" __attribute__((visibility("default"))) void ovista_qt_arguments(int* argc, char** argv) {
    ovista::argumentCount = argc;
    ovista::arguments = argv;
}

extern "C" __attribute__((visibility("default"))) ovista::ReportSink* ovista_qt_reports() {
    ovista::MakeApplication();
    static ovista::QtReportSink reports;
    return &reports;
}

extern "C" __attribute__((visibility("default"))) int ovista_qt_run(const ovista::CommandLineValues* keys) {
    using namespace ovista;
    MakeApplication();
    const int status = RunWithServices(*keys);
    if (ChooseRunMode(*keys) == RunMode::Interactive) delete qApp;
    return status;
}
