#include "app/qt_part.h"

#include <dlfcn.h>
#include <climits>
#include <cstdlib>
#include <string>

#include "herd/errors.h"

namespace ovista {
namespace {

int* keptArgc = nullptr;
char** keptArgv = nullptr;

// The folder of the running executable, also when started through a link; empty when the
// system cannot say (the loader's search path is used then).
std::string ProgramFolder() {
    char path[PATH_MAX];
    if (::realpath("/proc/self/exe", path) == nullptr) return {};
    std::string folder(path);
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

void* QtPart() {
    static void* const library = [] {
        // A program built with its Qt part inside (the sanitizers' builds) has it already.
        void* handle = ::dlsym(RTLD_DEFAULT, kQtRunEntry) != nullptr ? RTLD_DEFAULT : nullptr;
        if (handle == nullptr) handle = ::dlopen((ProgramFolder() + kQtPartFile).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = ::dlerror();
            throw OvistaError("The program's windows, printing and report pages are missing: " +
                              std::string(reason != nullptr ? reason : kQtPartFile));
        }
        if (keptArgc != nullptr) {
            const auto keep = reinterpret_cast<QtArgumentsEntry>(::dlsym(handle, kQtArgumentsEntry));
            if (keep != nullptr) keep(keptArgc, keptArgv);
        }
        return handle;
    }();
    return library;
}

// The print system's own answer to whether any printer is installed: the destinations it
// lists, as Qt's print support counts them. Nothing when the print system's library is not
// there to ask.
struct cups_dest_s;
int PrintSystemPrinters() {
    void* cups = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (cups == nullptr) return -1;
    using GetDests = int (*)(cups_dest_s**);
    using FreeDests = void (*)(int, cups_dest_s*);
    const auto getDests = reinterpret_cast<GetDests>(::dlsym(cups, "cupsGetDests"));
    const auto freeDests = reinterpret_cast<FreeDests>(::dlsym(cups, "cupsFreeDests"));
    if (getDests == nullptr || freeDests == nullptr) return -1;
    cups_dest_s* dests = nullptr;
    const int count = getDests(&dests);
    freeDests(count, dests);
    return count;  // the library stays loaded: Qt's print support uses it when it prints
}

}  // namespace

void KeepProgramArguments(int* argc, char** argv) {
    keptArgc = argc;
    keptArgv = argv;
}

void* QtPartEntry(const char* name) {
    void* entry = ::dlsym(QtPart(), name);
    if (entry == nullptr) {
        throw OvistaError(std::string("The program's Qt part lacks ") + name + ": the program is installed incompletely");
    }
    return entry;
}

ReportSink& DeferredReportSink::Loaded() {
    if (loaded_ == nullptr) loaded_ = reinterpret_cast<QtReportsEntry>(QtPartEntry(kQtReportsEntry))();
    return *loaded_;
}

void DeferredReportSink::Put(const HerdReport& report, const ReportOutput& output) { Loaded().Put(report, output); }

bool DeferredReportSink::PrinterInstalled() {
    if (loaded_ == nullptr) {
        const int printers = PrintSystemPrinters();
        if (printers >= 0) return printers > 0;
    }
    return Loaded().PrinterInstalled();
}

void DeferredReportSink::WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path) {
    Loaded().WriteBenchmarkPdf(benchmark, path);
}

}  // namespace ovista
