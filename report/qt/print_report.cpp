#include "report/qt/print_report.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>

#include "herd/errors.h"
#include "interpret/interpretation.h"
#include "interpret/trends.h"
#include "report/qt/pdf_canvas.h"
#include "report/qt/preview_dialog.h"
#include "report/qt/qpainter_canvas.h"
#include "report/qt/report_images.h"
#include "report/page3.h"
#include "report/page_header.h"
#include "report/report_pages.h"

namespace ovista {
namespace {

constexpr int kPdfDotsPerInch = 600;
const QString kJobTitle = QStringLiteral("Ovista Report");
constexpr const char* kMadeBy = "ovista Version 2.H";

// One report's pages on one output: the painter for each page in turn (the output starts the
// page), the page's size in pixels and the resolution the canvas is told.
struct PageTarget {
    std::function<QPainter&(int pageNo)> beginPage;
    QSize pagePixels;
    int dotsPerInch = kPdfDotsPerInch;
};

// Page 1 with the interpretation's marks, then page 2 with its notes, and with earlier
// seasons page 3. The record is copied into the canvas, and the interpretation is made afresh
// for this report.
void DrawReport(const HerdReport& report, const PageTarget& target,
                const std::vector<HerdReport>* earlierSeasons) {
    // The folder is named: the pictures are looked up by it, and no reference hangs on a
    // temporary.
    const QString folder = ProgramFolder();
    const ReportImages& images = CurrentReportImages(folder);
    const Interpretation interpretation = InterpretReport(report);

    QPainterCanvas first(target.beginPage(1), target.pagePixels, images);
    ReportCanvas canvas(report, first, target.dotsPerInch);
    canvas.SetPageNo(1);
    DrawReportPage(canvas, 1, interpretation);

    QPainterCanvas second(target.beginPage(2), target.pagePixels, images);
    canvas.SetDevice(second);
    canvas.SetPageNo(2);
    DrawReportPage(canvas, 2, interpretation);
    if (earlierSeasons == nullptr) return;

    QPainterCanvas third(target.beginPage(kTrendPageNo), target.pagePixels, images);
    canvas.SetDevice(third);
    DrawTrendPage(canvas, InterpretTrends(report, *earlierSeasons));
}

std::string Native(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

// The printer reports go to: the default one, or the only one there is.
QPrinterInfo ReportPrinter() {
    QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull()) {
        const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
        if (all.isEmpty()) throw NoPrinterError("No printer is installed");
        printer = all.front();
    }
    return printer;
}

void PrintOnPrinter(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons) {
    QPrinter printer(ReportPrinter(), QPrinter::HighResolution);
    printer.setDocName(kJobTitle);
    QPainter painter;
    if (!painter.begin(&printer)) {
        throw OvistaError("Could not start printing on " + printer.printerName().toStdString());
    }
    const PageTarget target{[&](int pageNo) -> QPainter& {
                                if (pageNo > 1) printer.newPage();
                                return painter;
                            },
                            QSize(printer.width(), printer.height()), printer.logicalDpiX()};
    DrawReport(report, target, earlierSeasons);
    if (!painter.end()) throw OvistaError("Could not finish printing on " + printer.printerName().toStdString());
}

// The page the preview shows: the default printer's, or A4 at 600 dots per inch when there
// is no printer (the preview still serves for JPEG and PDF).
void PreviewPaper(PreviewPages& pages) {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() && !QPrinterInfo::availablePrinters().isEmpty()) {
        info = QPrinterInfo::availablePrinters().front();
    }
    if (!info.isNull()) {
        const QPrinter printer(info, QPrinter::HighResolution);
        pages.paperPixels = QSize(printer.width(), printer.height());
        pages.dotsPerInch = printer.logicalDpiX();
    } else {
        pages.paperPixels = QPageSize(QPageSize::A4).sizePixels(kPdfDotsPerInch);
        pages.dotsPerInch = kPdfDotsPerInch;
    }
    // The page already is the printer's printable area.
    pages.printableArea = QRect(QPoint(0, 0), pages.paperPixels);
}

PreviewEnd PreviewReport(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons,
                         const PdfDestination& pdf, const PreviewOptions& options) {
    PreviewPages pages;
    PreviewPaper(pages);
    pages.pages.resize(earlierSeasons != nullptr ? 3 : 2);
    std::optional<QPainter> painter;
    const PageTarget target{[&](int pageNo) -> QPainter& {
                                painter.reset();
                                QPicture& picture = pages.pages[static_cast<std::size_t>(pageNo - 1)];
                                picture.setBoundingRect(QRect(QPoint(0, 0), pages.paperPixels));
                                painter.emplace(&picture);
                                return *painter;
                            },
                            pages.paperPixels, pages.dotsPerInch};
    DrawReport(report, target, earlierSeasons);
    painter.reset();
    for (QPicture& picture : pages.pages) {
        picture.setBoundingRect(QRect(QPoint(0, 0), pages.paperPixels));
    }
    PreviewActions actions;
    // "Save to PDF" writes the report as a PDF run of its own, from the open preview.
    actions.savePdf = [&report, earlierSeasons](const QString& path) {
        WriteReportPdf(report, path.toStdString(), earlierSeasons);
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

void WritePdfInto(const HerdReport& report, const PdfDestination& pdf,
                  const std::vector<HerdReport>* earlierSeasons) {
    const std::filesystem::path folder(pdf.folder);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw OvistaError("Could not create the folder " + pdf.folder + ": " + error.message());
    }
    const std::string name = pdf.fileName.empty() ? std::string("report.pdf") : pdf.fileName;
    WriteReportPdf(report, (folder / name).string(), earlierSeasons);
}

}  // namespace

void WriteReportPdf(const HerdReport& report, const std::string& path,
                    const std::vector<HerdReport>* earlierSeasons) {
    const QString fileName = QString::fromStdString(path);
    // Written under a temporary name and renamed into place only when complete: a crash or
    // a full disk never leaves a truncated report under the real name.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw ReportFileError(Native(fileName), file.errorString().toStdString());
    }
    // The folder is named: the pictures are looked up by it, and no reference hangs on a
    // temporary.
    const QString folder = ProgramFolder();
    const ReportImages& images = CurrentReportImages(folder);
    const Interpretation interpretation = InterpretReport(report);
    PdfDocument document(images);
    ReportCanvas canvas(report, document.NewPage(), kPdfDotsPerInch);
    canvas.SetPageNo(1);
    DrawReportPage(canvas, 1, interpretation);
    canvas.SetDevice(document.NewPage());
    canvas.SetPageNo(2);
    DrawReportPage(canvas, 2, interpretation);
    if (earlierSeasons != nullptr) {
        canvas.SetDevice(document.NewPage());
        DrawTrendPage(canvas, InterpretTrends(report, *earlierSeasons));
    }
    const std::string pdf = document.Finish(kJobTitle.toStdString(), kMadeBy, kMadeBy);
    if (file.write(pdf.data(), static_cast<qint64>(pdf.size())) != static_cast<qint64>(pdf.size()) ||
        !file.commit()) {
        throw ReportFileError(Native(fileName), file.errorString().toStdString());
    }
}

PreviewEnd PrintReport(const HerdReport& report, int outputKind, const PdfDestination& pdf,
                       const std::vector<HerdReport>* earlierSeasons, const PreviewOptions& preview) {
    // Our own copies: the caller may reuse its records while the output is made.
    const HerdReport copy = report;
    std::optional<std::vector<HerdReport>> earlier;
    if (earlierSeasons != nullptr) earlier = *earlierSeasons;
    const std::vector<HerdReport>* seasons = earlier ? &*earlier : nullptr;
    switch (outputKind) {
        case kOutputPreview:
            return PreviewReport(copy, seasons, pdf, preview);
        case kOutputPdf:
            if (!pdf.folder.empty()) {
                WritePdfInto(copy, pdf, seasons);
            } else if (const QString chosen = AskForPdfFile(); !chosen.isEmpty()) {
                WriteReportPdf(copy, chosen.toStdString(), seasons);
            }
            return PreviewEnd::Closed;
        default:
            PrintOnPrinter(copy, seasons);
            return PreviewEnd::Closed;
    }
}

bool PrinterInstalled() {
    return !QPrinterInfo::defaultPrinter().isNull() || !QPrinterInfo::availablePrinters().isEmpty();
}

}  // namespace ovista
