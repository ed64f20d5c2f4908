#include "gui/report_output.h"

#include <QFileDialog>
#include <QFileInfo>
#include <optional>

#include "batch/runs.h"
#include "gui/preview_window.h"
#include "report/qt/benchmark_pdf.h"

namespace ovista {
namespace {

PreviewEnd PreviewReport(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons,
                         const CowLists* cowLists, const PdfDestination& pdf, const PreviewOptions& options) {
    const PreviewPages pages = ReportPreviewPages(report, earlierSeasons, cowLists);
    PreviewActions actions;
    // "Save to PDF" writes the report as a PDF run of its own, from the open preview.
    actions.savePdf = [&report, earlierSeasons, cowLists](const QString& path) {
        WriteReportPdf(report, path.toStdString(), earlierSeasons, cowLists);
    };
    const QString name = QFileInfo(QString::fromStdString(pdf.fileName)).completeBaseName();
    if (!name.isEmpty()) actions.reportName = name;
    actions.caption = QString::fromStdString(options.caption);
    actions.offerSkip = options.offerSkip;
    return RunPreviewDialog(pages, actions);
}

// The file the user names in the save dialog; empty when the dialog is cancelled.
QString AskForPdfFile() {
    QFileDialog dialog(nullptr, QStringLiteral("Save the report as a PDF file"),
                       LastSaveFolder() + QStringLiteral("/report.pdf"),
                       QStringLiteral("PDF files (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    SetLastSaveFolder(QFileInfo(dialog.selectedFiles().front()).absolutePath());
    return dialog.selectedFiles().front();
}

int OutputKind(ReportDevice device) {
    switch (device) {
        case ReportDevice::Preview: return kOutputPreview;
        case ReportDevice::Pdf: return kOutputPdf;
        case ReportDevice::Printer: break;
    }
    return kOutputPrinter;
}

}  // namespace

PreviewEnd PrintReport(const HerdReport& report, int outputKind, const PdfDestination& pdf,
                       const std::vector<HerdReport>* earlierSeasons, const PreviewOptions& preview,
                       const CowLists* cowLists) {
    // Our own copies: the caller may reuse its records while the output is made.
    const HerdReport copy = report;
    std::optional<std::vector<HerdReport>> earlier;
    if (earlierSeasons != nullptr) earlier = *earlierSeasons;
    const std::vector<HerdReport>* seasons = earlier ? &*earlier : nullptr;
    std::optional<CowLists> listsCopy;
    if (cowLists != nullptr) listsCopy = *cowLists;
    const CowLists* lists = listsCopy ? &*listsCopy : nullptr;
    switch (outputKind) {
        case kOutputPreview:
            return PreviewReport(copy, seasons, lists, pdf, preview);
        case kOutputPdf:
            if (!pdf.folder.empty()) {
                WriteReportPdfInto(copy, pdf, seasons, lists);
            } else if (const QString chosen = AskForPdfFile(); !chosen.isEmpty()) {
                WriteReportPdf(copy, chosen.toStdString(), seasons, lists);
            }
            return PreviewEnd::Closed;
        default:
            PrintReportOnPrinter(copy, seasons, lists);
            return PreviewEnd::Closed;
    }
}

void QtReportSink::Put(const HerdReport& report, const ReportOutput& output) {
    // Skipping is offered while later herds of the batch are to come.
    const PreviewOptions preview{output.herdCaption,
                                 output.series != nullptr &&
                                     output.series->position < output.series->herds};
    const PreviewEnd end = PrintReport(report, OutputKind(DeviceOf(output)),
                                       {PdfFolderOf(output), output.pdfFileName},
                                       output.earlierSeasons ? &*output.earlierSeasons : nullptr, preview,
                                       output.cowLists ? &*output.cowLists : nullptr);
    if (end == PreviewEnd::SkipRemaining && output.series != nullptr) {
        output.series->skipRemaining = true;
    }
}

bool QtReportSink::PrinterInstalled() { return ovista::PrinterInstalled(); }

void QtReportSink::WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path) {
    ovista::WriteBenchmarkPdf(benchmark, path);
}

}  // namespace ovista
