#include "report/qt/print_report.h"

#include <QDir>
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
// seasons page 3, then the cow lists' pages. The record is copied into the canvas, and the
// interpretation is made afresh for this report.
void DrawReport(const HerdReport& report, const PageTarget& target,
                const std::vector<HerdReport>* earlierSeasons, const CowLists* cowLists) {
    // The folder is named: the pictures are looked up by it, and no reference hangs on a
    // temporary.
    const QString folder = ProgramFolder();
    const ReportImages& images = CurrentReportImages(folder);
    const Interpretation interpretation = InterpretReport(report);

    const HerdReportPages pages(interpretation, report, earlierSeasons, cowLists);
    std::optional<QPainterCanvas> device;
    std::optional<ReportCanvas> canvas;
    for (int pageNo = 1; pageNo <= pages.PageCount(); ++pageNo) {
        device.emplace(target.beginPage(pageNo), target.pagePixels, images);
        if (canvas) {
            canvas->SetDevice(*device);
        } else {
            canvas.emplace(report, *device, target.dotsPerInch);
        }
        pages.Draw(*canvas, pageNo);
    }
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

}  // namespace

void PrintReportOnPrinter(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons,
                          const CowLists* cowLists) {
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
    DrawReport(report, target, earlierSeasons, cowLists);
    if (!painter.end()) throw OvistaError("Could not finish printing on " + printer.printerName().toStdString());
}

namespace {

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

}  // namespace

PreviewPages ReportPreviewPages(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons,
                                const CowLists* cowLists) {
    PreviewPages pages;
    PreviewPaper(pages);
    pages.pages.resize(earlierSeasons != nullptr ? 3 : 2);
    std::optional<QPainter> painter;
    const PageTarget target{[&](int pageNo) -> QPainter& {
                                painter.reset();
                                // The cow lists' pages are as many as their rows need.
                                if (pages.pages.size() < static_cast<std::size_t>(pageNo)) {
                                    pages.pages.resize(static_cast<std::size_t>(pageNo));
                                }
                                QPicture& picture = pages.pages[static_cast<std::size_t>(pageNo - 1)];
                                picture.setBoundingRect(QRect(QPoint(0, 0), pages.paperPixels));
                                painter.emplace(&picture);
                                return *painter;
                            },
                            pages.paperPixels, pages.dotsPerInch};
    DrawReport(report, target, earlierSeasons, cowLists);
    painter.reset();
    for (QPicture& picture : pages.pages) {
        picture.setBoundingRect(QRect(QPoint(0, 0), pages.paperPixels));
    }
    return pages;
}

void WriteReportPdfInto(const HerdReport& report, const PdfDestination& pdf,
                        const std::vector<HerdReport>* earlierSeasons, const CowLists* cowLists) {
    const std::filesystem::path folder(pdf.folder);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw OvistaError("Could not create the folder " + pdf.folder + ": " + error.message());
    }
    const std::string name = pdf.fileName.empty() ? std::string("report.pdf") : pdf.fileName;
    WriteReportPdf(report, (folder / name).string(), earlierSeasons, cowLists);
}

void WriteReportPdf(const HerdReport& report, const std::string& path,
                    const std::vector<HerdReport>* earlierSeasons, const CowLists* cowLists) {
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

    const HerdReportPages pages(interpretation, report, earlierSeasons, cowLists);
    ReportCanvas canvas(report, document.NewPage(), kPdfDotsPerInch);
    for (int pageNo = 1; pageNo <= pages.PageCount(); ++pageNo) {
        if (pageNo > 1) canvas.SetDevice(document.NewPage());
        pages.Draw(canvas, pageNo);
    }
    bool written = true;
    document.Write(
        [&file, &written](std::string_view piece) {
            const auto size = static_cast<qint64>(piece.size());
            written = written && file.write(piece.data(), size) == size;
        },
        kJobTitle.toStdString(), kMadeBy, kMadeBy);
    if (!written || !file.commit()) {
        throw ReportFileError(Native(fileName), file.errorString().toStdString());
    }
}

bool PrinterInstalled() {
    return !QPrinterInfo::defaultPrinter().isNull() || !QPrinterInfo::availablePrinters().isEmpty();
}

}  // namespace ovista
