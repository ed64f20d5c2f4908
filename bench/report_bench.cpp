// A two-page report to PDF, as a batch with PDFFOLDER= writes one per herd: the program's
// own PDF device, and Qt's PDF engine drawing the same pages for comparison. The reports are
// those of the sample herds in examples/, analysed once when the benchmark starts; the files
// go to the temporary folder. Text shapes, the font program and the pictures are prepared
// once per process, so the first report of a run costs more than the figures here.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <filesystem>
#include <string>
#include <vector>

#include "batch/runs.h"
#include "batch/working_folder.h"
#include "gui/report_output.h"
#include "herd/services.h"
#include "herd/textutil.h"
#include "interpret/interpretation.h"
#include "report/qt/print_report.h"
#include "report/qt/qpainter_canvas.h"
#include "report/qt/report_images.h"
#include "report/report_pages.h"

namespace {

namespace fs = std::filesystem;

QApplication& Application() {
    static int argc = 1;
    static char name[] = "ovista_report_bench";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    return application;
}

const std::vector<ovista::HerdReport>& Reports() {
    static const std::vector<ovista::HerdReport> reports = [] {
        Application();
        ovista::SetTodayFromClock();
        const fs::path work = fs::temp_directory_path() / ("ovista_report_bench_" + std::to_string(::getpid()));
        fs::create_directories(work);
        std::vector<ovista::HerdReport> made;
        ovista::QtReportSink devices;
        ovista::BatchJob job(ovista::Services(), devices);
        job.workingFolder = work.string();
        job.steps.print = [&made](const ovista::HerdReport& report, const ovista::ReportOutput&) { made.push_back(report); };
        for (int i = 1; i <= 6; ++i) {
            ovista::RunSingleHerdCsv(job, std::string(OVISTA_SOURCE_DIR) + "/examples/herd00" + std::to_string(i) + ".csv");
        }
        fs::remove_all(work);
        return made;
    }();
    return reports;
}

std::string PdfPath() {
    return (fs::temp_directory_path() / ("ovista_report_bench_" + std::to_string(::getpid()) + ".pdf")).string();
}

void BM_ReportPdf(benchmark::State& state) {
    const auto& reports = Reports();
    const std::string path = PdfPath();
    std::size_t i = 0;
    for (auto _ : state) ovista::WriteReportPdf(reports[i++ % reports.size()], path);
    fs::remove(path);
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond);

// The same pages through QPdfWriter and the painter device, as reports were written before.
void BM_ReportPdfQtEngine(benchmark::State& state) {
    const auto& reports = Reports();
    const QString path = QString::fromStdString(PdfPath());
    const QString pictures = ovista::ProgramFolder();
    const ovista::ReportImages& images = ovista::CurrentReportImages(pictures);
    std::size_t i = 0;
    for (auto _ : state) {
        const ovista::HerdReport& report = reports[i++ % reports.size()];
        QPdfWriter writer(path);
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        const ovista::Interpretation interpretation = ovista::InterpretReport(report);
        const QSize page(writer.width(), writer.height());
        ovista::QPainterCanvas first(painter, page, images);
        ovista::ReportCanvas canvas(report, first, 600);
        canvas.SetPageNo(1);
        ovista::DrawReportPage(canvas, 1, interpretation);
        writer.newPage();
        ovista::QPainterCanvas second(painter, page, images);
        canvas.SetDevice(second);
        canvas.SetPageNo(2);
        ovista::DrawReportPage(canvas, 2, interpretation);
    }
    fs::remove(path.toStdString());
}
BENCHMARK(BM_ReportPdfQtEngine)->Unit(benchmark::kMillisecond);

}  // namespace
