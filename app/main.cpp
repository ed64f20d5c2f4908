// Start-up: date settings, help and version, the keys, the message services, one run.
#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <strings.h>
#include <iostream>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_services.h"
#include "gui/qt_services.h"
#include "gui/report_output.h"
#include "app/startup.h"
#include "herd/heap.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace {

// Herd-management software reads our standard error as messages; Qt's note that a server has
// no runtime folder for it is not one of them. Every other Qt message passes as usual.
void QtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("QStandardPaths: XDG_RUNTIME_DIR")) return;
    std::cerr << qFormatLogMessage(type, context, text).toStdString() << '\n';
}

// Qt needs character types of a UTF-8 codeset and, when the environment's locale has another
// (the "C" locale of cron, systemd or env -i), switches to one itself with a warning of four
// lines on standard error. The environment is given C.UTF-8 character types before Qt reads
// it; every other category stays as the environment says.
void ChooseUtf8CharacterTypes() {
    const char* chosen = std::setlocale(LC_CTYPE, "");
    const std::string codeset = chosen != nullptr ? nl_langinfo(CODESET) : "";
    const bool utf8 = strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "utf8") == 0;
    const bool available = !utf8 && std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    std::setlocale(LC_CTYPE, "C");  // Qt applies the environment's locale itself
    if (!available) return;
    if (const char* all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
        // LC_ALL would override LC_CTYPE: its value goes to every category instead.
        const std::string value = all;
        for (const char* category : {"LANG", "LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME",
                                     "LC_PAPER", "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT",
                                     "LC_IDENTIFICATION"}) {
            setenv(category, value.c_str(), 1);
        }
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace ovista;
    if (!SetTodayForRun()) return 2;
    KeepHeapBetweenHerds();

    // Taken before the application object, which removes the Qt options it knows.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    switch (FindInfoRequest(arguments)) {
        case InfoRequest::Help: std::cout << HelpText(); return 0;
        case InfoRequest::Version: std::cout << VersionText(); return 0;
        case InfoRequest::None: break;
    }
    const CommandLineValues keys = ParseCommandLine(arguments);

    ChooseUtf8CharacterTypes();
    qInstallMessageHandler(QtMessage);
    ChooseOffscreenPlatformWhenHeadless(keys.noDialogs);
    QApplication application(argc, argv);
    // No display name: the platform would append it to every window title, and a message
    // box titled "Ovista" would read "Ovista — Tamsel Ovista Report", cut off.
    QApplication::setApplicationName("ovista");
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
    int status = 1;
    try {
        QtReportSink reports;
        status = RunChosenMode(keys, console, *services, reports);
    } catch (const std::bad_alloc&) {
        // Said, not aborted: the files of the run hold whole lines up to here.
        ShowInfo("The run stopped: out of memory");
    } catch (const std::exception& e) {
        ShowInfo(std::string("The run stopped: ") + e.what());
    }
    InstallServices(nullptr);
    if (ChooseRunMode(keys) != RunMode::Interactive) {
        // The run has closed its files. Tearing the application down would start Qt's
        // font configuration only to free it again (several milliseconds, at every one of
        // the thousands of runs herd-management software may start).
        std::cout.flush();
        std::cerr.flush();
        std::exit(status);
    }
    return status;
}
