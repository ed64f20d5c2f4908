#include "report/qt/print_report.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>

#include "herd/errors.h"
#include "interpret/interpretation.h"
#include "interpret/trends.h"
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
    const ReportImages& images = CurrentReportImages(ProgramFolder());
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

void PreviewReport(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons) {
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
    // "Save to PDF" is a complete run of its own, after the window has gone.
    if (RunPreviewDialog(pages)) PrintReport(report, kOutputPdf, {}, earlierSeasons);
}

// The file the user names in the save dialog; empty when the dialog is cancelled.
QString AskForPdfFile() {
    QFileDialog dialog(nullptr, QStringLiteral("Save this page as a PDF file"), ProgramFolder(),
                       QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
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

// The decimal number that follows key (after any white space) in text; false when there is none.
bool NumberAfter(const std::string& text, std::string_view key, std::string& digits) {
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return false;
    std::size_t i = at + key.size();
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t first = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    digits = text.substr(first, i - first);
    return !digits.empty();
}

// The PDF writer names itself as the document's producer; the producer is ours. The
// information dictionary is replaced by an incremental update appended to the file (the
// way PDF revises a document), so nothing already written moves. A file whose trailer is not
// as expected is left as it is.
void NameProducer(QByteArray& pdf) {
    const std::string text = pdf.toStdString();
    const std::size_t trailer = text.rfind("trailer");
    const std::size_t start = text.rfind("startxref");
    if (trailer == std::string::npos || start == std::string::npos || start < trailer) return;
    const std::string tail = text.substr(trailer);
    std::string size, info, root, previous;
    if (!NumberAfter(tail, "/Size ", size) || !NumberAfter(tail, "/Info ", info) ||
        !NumberAfter(tail, "/Root ", root) || !NumberAfter(tail, "startxref", previous)) {
        return;
    }
    const std::string objectStart = "\n" + info + " 0 obj\n";
    const std::size_t object = text.find(objectStart);
    if (object == std::string::npos) return;
    const std::size_t dictionaryEnd = text.find(">>", object);
    if (dictionaryEnd == std::string::npos) return;
    std::string dictionary = "<<\n/Producer (" + std::string(kMadeBy) + ")\n";
    // The other entries as the writer made them (title, creator, creation date).
    const std::string entries = text.substr(object + objectStart.size(), dictionaryEnd - object - objectStart.size());
    std::size_t line = entries.find("<<\n");
    line = line == std::string::npos ? 0 : line + 3;
    while (line < entries.size()) {
        std::size_t end = entries.find(")\n/", line);
        end = end == std::string::npos ? entries.size() : end + 2;
        const std::string entry = entries.substr(line, end - line);
        if (entry.rfind("/Producer ", 0) != 0) dictionary += entry;
        line = end;
    }
    if (dictionary.back() != '\n') dictionary += '\n';
    dictionary += ">>";

    std::string update = info + " 0 obj\n" + dictionary + "\nendobj\n";
    const std::size_t objectOffset = text.size() + (text.back() == '\n' ? 0 : 1);
    if (text.back() != '\n') update.insert(0, "\n");
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", objectOffset);
    const std::size_t xrefOffset = text.size() + update.size();
    update += "xref\n" + info + " 1\n" + entry + "trailer\n<<\n/Size " + size +
              "\n/Info " + info + " 0 R\n/Root " + root + " 0 R\n/Prev " +
              previous + "\n>>\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n";
    pdf.append(update.data(), static_cast<qsizetype>(update.size()));
}

}  // namespace

void WriteReportPdf(const HerdReport& report, const std::string& path,
                    const std::vector<HerdReport>* earlierSeasons) {
    const QString fileName = QString::fromStdString(path);
    // Written under a temporary name and renamed into place only when complete: a crash or
    // a full disk never leaves a truncated report under the real name.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw OvistaError("Could not write " + Native(fileName) + ": " + file.errorString().toStdString());
    }
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(kPdfDotsPerInch);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(kJobTitle);
        writer.setCreator(QString::fromLatin1(kMadeBy));
        QPainter painter;
        if (!painter.begin(&writer)) {
            throw OvistaError("Could not write " + Native(fileName) + ": the PDF could not be started");
        }
        const PageTarget target{[&](int pageNo) -> QPainter& {
                                    if (pageNo > 1) writer.newPage();
                                    return painter;
                                },
                                QSize(writer.width(), writer.height()), kPdfDotsPerInch};
        DrawReport(report, target, earlierSeasons);
        painter.end();
    }
    NameProducer(pdf);
    if (file.write(pdf) != pdf.size() || !file.commit()) {
        throw OvistaError("Could not write " + Native(fileName) + ": " + file.errorString().toStdString());
    }
}

void PrintReport(const HerdReport& report, int outputKind, const PdfDestination& pdf,
                 const std::vector<HerdReport>* earlierSeasons) {
    // Our own copies: the caller may reuse its records while the output is made.
    const HerdReport copy = report;
    std::optional<std::vector<HerdReport>> earlier;
    if (earlierSeasons != nullptr) earlier = *earlierSeasons;
    const std::vector<HerdReport>* seasons = earlier ? &*earlier : nullptr;
    switch (outputKind) {
        case kOutputPreview:
            PreviewReport(copy, seasons);
            return;
        case kOutputPdf:
            if (!pdf.folder.empty()) {
                WritePdfInto(copy, pdf, seasons);
            } else if (const QString chosen = AskForPdfFile(); !chosen.isEmpty()) {
                WriteReportPdf(copy, chosen.toStdString(), seasons);
            }
            return;
        default:
            PrintOnPrinter(copy, seasons);
            return;
    }
}

bool PrinterInstalled() {
    return !QPrinterInfo::defaultPrinter().isNull() || !QPrinterInfo::availablePrinters().isEmpty();
}

}  // namespace ovista
