// Paths that name no file of their kind: a named pipe nobody writes to, a device, a folder, a
// file larger than any real one. Every reader refuses them before it reads a byte (a pipe
// would hold the run up for ever, a device or a giant file take the machine's memory) and
// reads a regular file as before.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>
#include <filesystem>
#include <functional>
#include <string>

#include "batch/benchmark_run.h"
#include "batch/runs.h"
#include "formats/summary_file.h"
#include "batch/working_folder.h"
#include "gui/report_output.h"
#include "herd/herd_file.h"
#include "interpret/report_dates.h"
#include "recording_services.h"
#include "report/qt/report_images.h"
#include "test_files.h"
#include "test_job.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::PrivateFolder;
using testing::WriteFile;

enum class PathKind { Pipe, Device, Folder, Oversized, Regular };

// One reader of outside files: where it finds its file, what a regular one holds, and what
// it makes of a path: "read", "not read", "left out" or the one message it gave.
struct Reader {
    const char* name;
    const char* fileName;
    InputKind kind;
    const char* limit;          // as the message says it
    std::string regularBytes;
    std::function<std::string(const fs::path& file)> read;  // or OvistaError with the message
    std::string folderOutcome;  // its present answer to a folder; one ending in a space names the path next
    bool refusalSaid = true;    // false: a refused file is left out without a word
};

std::string SummaryFile() {
    HerdReport report;
    ClearHerdReport(report);
    report.SHNO = "H1";
    return SummaryHeaderText() + "\r\n" + SummaryRowText(report) + "\r\n";
}

std::string Bmp() {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(MakeStarImage(16).save(&buffer, "BMP"));
    return bytes.toStdString();
}

TEST(InputPaths, EveryReaderTakesOnlyARegularFileOfItsSize) {
    if (QApplication::instance() == nullptr) {  // the pictures are drawn and read with Qt
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives until the process ends
    }
    testing::RecordingServices services;
    const fs::path root = PrivateFolder("ovista_paths_");
    fs::remove_all(root);
    RunSteps steps;
    int printed = 0;
    steps.print = [&printed](const HerdReport&, const ReportOutput&) { ++printed; };
    steps.analyse = [](auto&&...) {};
    // The one message of a run that stopped, or "read" when it printed.
    auto run = [&](const std::function<bool()>& start) -> std::string {
        services.infos.clear();
        printed = 0;
        const bool ranToEnd = start();
        if (ranToEnd) return "read";
        return services.infos.size() == 1 ? services.infos[0] : "messages: " + std::to_string(services.infos.size());
    };
    auto pictures = [](const fs::path& file) {
        return QString::fromStdString(file.parent_path().string());
    };

    const std::string bmp = Bmp();
    const Reader readers[] = {
        {"herd file", "herd.csv", kHerdFileInput, "256 MB", "CowID,Calved\r\nA1,01/08/2023\r\nB2,05/08/2023\r\n",
         [](const fs::path& file) {
             std::unique_ptr<HerdList> list;
             HerdHeaderFields header;
             return LoadHerdFile(file.string(), "H", list, header) && list->Count() == 2 ? "read" : "not read";
         },
         "not read"},
        {"batch file", "batch.txt", kBatchFileInput, "64 MB", "\r\n",
         [&](const fs::path& file) {
             return run([&] { return RunBatch(testing::Job(steps, (file.parent_path() / "out").string()), file.string()); });
         },
         "Could not open "},
        {"summary file", "TAMSLREP.CSV", kSummaryCsvInput, "64 MB", SummaryFile(),
         [&](const fs::path& file) {
             return run([&] { return RunReportFromSummaryCsv(testing::Job(steps), file.string()) && printed == 1; });
         },
         "Could not open "},
        {"stored result", "result.qmr", kStoredResultInput, "64 KB", std::string(2428, '\0'),
         [&](const fs::path& file) {
             return run([&] { return RunReportFromStoredResult(testing::Job(steps), file.string()) && printed == 1; });
         },
         "Could not open "},
        {"benchmark's summary file", "TAMSLREP.CSV", kBatchOutputInput, "1024 MB", SummaryFile(),
         [&](const fs::path& file) {
             QtReportSink reports;
             return run([&] { return RunBenchmark(file.parent_path().string(), services, reports); });
         },
         "Could not open "},
        {"chart picture", "star.bmp", kPictureInput, "16 MB", bmp,
         [&](const fs::path& file) { return LoadReportImages(pictures(file)).star.isNull() ? "not read" : "read"; },
         "Could not load "},
        {"centre logo", "CentreLogo.jpg", kPictureInput, "16 MB", bmp,
         [&](const fs::path& file) { return LoadReportImages(pictures(file)).centreLogo.isNull() ? "left out" : "read"; },
         "left out", false},
        // The size limit itself, on a kind of ten bytes: a file at it is read.
        {"ten bytes", "ten.txt", {"a file of ten", 10}, "10 bytes", "0123456789",
         [](const fs::path& file) {
             RegularFileInput input(file.string(), {"a file of ten", 10});
             return input.ReadAll() == "0123456789" && !input.ReadFailed() ? "read" : "not read";
         },
         "not read"},
    };

    alarm(60);  // a reader that waits for the pipe fails the test instead of hanging it
    for (const Reader& reader : readers) {
        for (const PathKind kind : {PathKind::Pipe, PathKind::Device, PathKind::Folder,
                                    PathKind::Oversized, PathKind::Regular}) {
            const fs::path folder = root / reader.name / std::to_string(static_cast<int>(kind));
            fs::create_directories(folder / "out");
            WriteFile(folder / "star.bmp", bmp);  // the chart pictures beside the one looked at
            WriteFile(folder / "ball.bmp", bmp);
            const fs::path file = folder / reader.fileName;
            fs::remove(file);
            const std::string path = file.string();
            std::string expected = reader.refusalSaid ? path + " is not a regular file" : "left out";
            switch (kind) {
                case PathKind::Pipe:
                    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
                    break;
                case PathKind::Device:
                    fs::create_symlink("/dev/null", file);
                    break;
                case PathKind::Folder:
                    fs::create_directories(file);
                    expected = reader.folderOutcome;
                    break;
                case PathKind::Oversized:
                    WriteFile(file, "");
                    fs::resize_file(file, reader.kind.maxBytes + 1);  // sparse: no disk taken
                    if (reader.refusalSaid) {
                        expected = path + " is " + std::to_string(reader.kind.maxBytes + 1) +
                                   " bytes; " + reader.kind.name + " may hold at most " + reader.limit;
                    }
                    break;
                case PathKind::Regular:
                    WriteFile(file, reader.regularBytes);
                    expected = "read";
                    break;
            }
            SCOPED_TRACE(std::string(reader.name) + " " + std::to_string(static_cast<int>(kind)));
            std::string outcome;
            try {
                outcome = reader.read(file);
            } catch (const OvistaError& e) {  // a refusal of the reader itself
                outcome = e.what();
            }
            if (expected.ends_with(' ')) {  // a message of the present kind, naming the path
                EXPECT_TRUE(outcome.starts_with(expected + path)) << outcome;
            } else {
                EXPECT_EQ(outcome, expected);
            }
        }
    }
    alarm(0);
    SetStoredDateOffset(false);
    fs::remove_all(root);
}

}  // namespace
}  // namespace ovista
