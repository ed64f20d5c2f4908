// Start-up: date settings, help and version, the keys, the message services, one run.
#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <strings.h>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_services.h"
#include "app/qt_part.h"
#include "app/startup.h"
#include "herd/errors.h"
#include "herd/heap.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace {

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
    ChooseOffscreenPlatformWhenHeadless(keys.noDialogs);
    KeepProgramArguments(&argc, argv);
    int status = 1;
    if (!keys.noDialogs && DisplayNamedInEnvironment()) {
        // A person may be at the screen: message boxes, the main window, the Qt part's run.
        try {
            status = reinterpret_cast<QtRunEntry>(QtPartEntry(kQtRunEntry))(&keys);
        } catch (const OvistaError& error) {
            std::cerr << error.what() << '\n';
            return 1;
        }
    } else {
        // Messages go to standard error; Qt is loaded only when a report is put out.
        std::setlocale(LC_ALL, "");  // the environment's locale, as the application object sets it
        ConsoleServices services;
        DeferredReportSink reports;
        status = RunWithMessages(services, [&] { return RunChosenMode(keys, true, services, reports); });
    }
    if (ChooseRunMode(keys) != RunMode::Interactive) {
        NoHerdLeft();
        // The run has closed its files. Tearing down the application object, when a report
        // made one, would start Qt's font configuration only to free it again (several
        // milliseconds, at every one of the thousands of runs herd-management software may start).
        std::cout.flush();
        std::cerr.flush();
        std::exit(status);
    }
    return status;
}
