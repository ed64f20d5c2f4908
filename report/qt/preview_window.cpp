#include "report/qt/preview_window.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "herd/services.h"
#include "report/qt/page_output.h"
#include "report/qt/report_images.h"

namespace ovista {

namespace {

constexpr int kThumbnailStripWidth = 161;
constexpr int kThumbnailWidth = 120;
constexpr int kPageMargin = 8;  // grey border around the page in the view
constexpr double kMinScale = 0.01;

// Busy cursor for a long step, restored however the step ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

const QColor kGuideColour(192, 192, 192);

// Draws one page at a scale.
void PaintPage(QPainter& painter, const PreviewPages& pages, int index, double scale) {
    const QSize paper = pages.paperPixels;
    const QSizeF target(paper.width() * scale, paper.height() * scale);
    painter.fillRect(QRectF(QPointF(0, 0), target), Qt::white);
    DrawPage(painter, pages.pages[static_cast<std::size_t>(index)], paper, target);
}

}  // namespace

// The current page at the chosen scale, with the printable-area guides on top. The guides
// exist only here, never in what is printed or saved.
class PreviewPageView : public QWidget {
public:
    PreviewPageView(const PreviewPages& pages, QWidget* parent) : QWidget(parent), pages_(pages) {
        setObjectName(QStringLiteral("pageView"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void SetPage(int index) {
        index_ = index;
        update();
    }
    void SetScale(double scale) {
        scale_ = scale;
        resize(std::max(1, qRound(pages_.paperPixels.width() * scale)),
               std::max(1, qRound(pages_.paperPixels.height() * scale)));
        update();
    }
    double PageScale() const { return scale_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (index_ < 0 || static_cast<std::size_t>(index_) >= pages_.pages.size()) {
            painter.fillRect(rect(), Qt::white);
            return;
        }
        PaintPage(painter, pages_, index_, scale_);
        const QRect area = pages_.printableArea;
        if (area.isEmpty()) return;
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.scale(scale_, scale_);
        painter.setPen(QPen(kGuideColour, 0, Qt::DotLine));  // width 0: one screen pixel
        const double left = area.x(), right = area.x() + area.width();
        const double top = area.y(), bottom = area.y() + area.height();
        const double width = pages_.paperPixels.width(), height = pages_.paperPixels.height();
        painter.drawLine(QLineF(left, 0, left, height));
        painter.drawLine(QLineF(right, 0, right, height));
        painter.drawLine(QLineF(0, top, width, top));
        painter.drawLine(QLineF(0, bottom, width, bottom));
    }

private:
    const PreviewPages& pages_;
    int index_ = 0;
    double scale_ = 1.0;
};

PreviewWindow::PreviewWindow(const PreviewPages& pages, QWidget* parent)
    : QDialog(parent), pages_(pages) {
    setObjectName(QStringLiteral("printPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setModal(true);
    setSizeGripEnabled(true);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    printButton_ = new QPushButton(QStringLiteral("Print..."), this);
    printButton_->setObjectName(QStringLiteral("printButton"));
    printButton_->setAutoDefault(false);
    auto* zoomLabel = new QLabel(QStringLiteral("Zoom:"), this);
    zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    zoomList_ = new QComboBox(this);
    zoomList_->setObjectName(QStringLiteral("zoomList"));
    zoomList_->addItems({QStringLiteral("%50"), QStringLiteral("%100"), QStringLiteral("%150"),
                         QStringLiteral("%200"), QStringLiteral("Page Width"),
                         QStringLiteral("Page Height"), QStringLiteral("Whole Page")});
    zoomList_->setCurrentIndex(static_cast<int>(Zoom::PageWidth));
    zoomLabel->setBuddy(zoomList_);
    jpegButton_ = new QPushButton(QStringLiteral("Save to JPEG"), this);
    jpegButton_->setObjectName(QStringLiteral("jpegButton"));
    jpegButton_->setAutoDefault(false);
    pdfButton_ = new QPushButton(QStringLiteral("Save to PDF"), this);
    pdfButton_->setObjectName(QStringLiteral("pdfButton"));
    pdfButton_->setAutoDefault(false);

    auto* toolbar = new QHBoxLayout;
    toolbar->addWidget(printButton_);
    toolbar->addSpacing(12);
    toolbar->addWidget(zoomLabel);
    toolbar->addWidget(zoomList_);
    toolbar->addSpacing(12);
    toolbar->addWidget(jpegButton_);
    toolbar->addWidget(pdfButton_);
    toolbar->addStretch(1);

    thumbnails_ = new QListWidget(this);
    thumbnails_->setObjectName(QStringLiteral("thumbnails"));
    thumbnails_->setViewMode(QListView::IconMode);
    thumbnails_->setFlow(QListView::TopToBottom);
    thumbnails_->setWrapping(false);
    thumbnails_->setMovement(QListView::Static);
    thumbnails_->setResizeMode(QListView::Adjust);
    thumbnails_->setSpacing(6);
    const QSize paper = pages_.paperPixels;
    const int thumbHeight =
        paper.isEmpty() ? kThumbnailWidth : std::max(1, kThumbnailWidth * paper.height() / paper.width());
    thumbnails_->setIconSize(QSize(kThumbnailWidth, thumbHeight));
    for (std::size_t i = 0; i < pages_.pages.size(); ++i) {
        QPixmap thumb(kThumbnailWidth, thumbHeight);
        thumb.fill(Qt::white);
        if (!paper.isEmpty()) {
            QPainter painter(&thumb);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            PaintPage(painter, pages_, static_cast<int>(i), double(kThumbnailWidth) / paper.width());
        }
        QIcon icon(thumb);
        icon.addPixmap(thumb, QIcon::Selected);  // the chosen page keeps its colours
        thumbnails_->addItem(new QListWidgetItem(icon, QString::number(i + 1)));
    }

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("pageScroll"));
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setWidgetResizable(false);
    view_ = new PreviewPageView(pages_, scroll_);
    scroll_->setWidget(view_);
    scroll_->installEventFilter(this);

    tabs_ = new QTabBar(this);
    tabs_->setObjectName(QStringLiteral("pageTabs"));
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    QFont bold = tabs_->font();
    bold.setBold(true);
    tabs_->setFont(bold);

    auto* pagePane = new QWidget(this);
    auto* paneLayout = new QVBoxLayout(pagePane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(scroll_, 1);
    paneLayout->addWidget(tabs_);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(thumbnails_);
    splitter->addWidget(pagePane);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kThumbnailStripWidth, 10000});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(toolbar);
    layout->addWidget(splitter, 1);

    SyncTabs();
    ShowPage(0);
    UpdateScale();

    connect(printButton_, &QPushButton::clicked, this, [this] { Print(); });
    connect(jpegButton_, &QPushButton::clicked, this, [this] { SaveJpeg(); });
    connect(pdfButton_, &QPushButton::clicked, this, [this] { RequestPdf(); });
    connect(zoomList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) SetZoom(static_cast<Zoom>(index));
    });
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0) ShowPage(index);
    });
    connect(thumbnails_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) ShowPage(row);
    });
}

double PreviewWindow::Scale() const { return view_->PageScale(); }

double PreviewWindow::ActualSizeScale() const {
    return pages_.dotsPerInch > 0 ? view_->logicalDpiX() / double(pages_.dotsPerInch) : 1.0;
}

void PreviewWindow::ShowPage(int index) {
    const int count = static_cast<int>(pages_.pages.size());
    if (count == 0) return;
    current_ = std::clamp(index, 0, count - 1);
    view_->SetPage(current_);
    const QSignalBlocker blockTabs(tabs_);
    const QSignalBlocker blockThumbs(thumbnails_);
    tabs_->setCurrentIndex(current_);
    thumbnails_->setCurrentRow(current_);
}

void PreviewWindow::SetZoom(Zoom zoom) {
    zoom_ = zoom;
    const QSignalBlocker block(zoomList_);
    zoomList_->setCurrentIndex(static_cast<int>(zoom));
    UpdateScale();
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_ && event->type() == QEvent::Resize) UpdateScale();
    return QDialog::eventFilter(watched, event);
}

// Tabs follow the page count, labelled with their page numbers; the selected tab is the
// page shown.
void PreviewWindow::SyncTabs() {
    const QSignalBlocker block(tabs_);
    const int count = static_cast<int>(pages_.pages.size());
    while (tabs_->count() < count) tabs_->addTab(QString::number(tabs_->count() + 1));
    while (tabs_->count() > count) tabs_->removeTab(tabs_->count() - 1);
    tabs_->setCurrentIndex(current_);
    // A tab bar not yet shown does not tell its layout that its size changed.
    tabs_->updateGeometry();
}

void PreviewWindow::UpdateScale() {
    const QSize paper = pages_.paperPixels;
    if (paper.isEmpty()) return;
    double scale = 1.0;
    switch (zoom_) {
        case Zoom::Percent50: scale = ActualSizeScale() * 0.5; break;
        case Zoom::Percent100: scale = ActualSizeScale(); break;
        case Zoom::Percent150: scale = ActualSizeScale() * 1.5; break;
        case Zoom::Percent200: scale = ActualSizeScale() * 2.0; break;
        case Zoom::PageWidth:
        case Zoom::PageHeight:
        case Zoom::WholePage: {
            // Room in the viewport; a scroll bar takes its share when the other side overflows.
            const QSize room = scroll_->maximumViewportSize() - QSize(2 * kPageMargin, 2 * kPageMargin);
            const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
            const double byWidth = double(room.width()) / paper.width();
            const double byHeight = double(room.height()) / paper.height();
            if (zoom_ == Zoom::PageWidth) {
                scale = byWidth;
                if (paper.height() * scale > room.height()) scale = double(room.width() - bar) / paper.width();
            } else if (zoom_ == Zoom::PageHeight) {
                scale = byHeight;
                if (paper.width() * scale > room.width()) scale = double(room.height() - bar) / paper.height();
            } else {
                scale = std::min(byWidth, byHeight);
            }
            break;
        }
    }
    view_->SetScale(std::max(scale, kMinScale));
}

void PreviewWindow::Print() {
    if (pages_.pages.empty()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromLatin1(kPrintJobTitle));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // Nothing may escape into the event loop: a failure is shown and the window stays.
    try {
        const WaitCursor busy;
        PrintPreviewPages(pages_, printer);
    } catch (const std::exception& e) {
        ShowInfo(e.what());
    }
}

void PreviewWindow::SaveJpeg() {
    QFileDialog dialog(this, QStringLiteral("Save the printout as a Jpeg file"),
                       ProgramFolder(), QStringLiteral("Jpeg (*.jpg)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    try {
        const WaitCursor busy;
        SaveJpegPages(pages_, dialog.selectedFiles().constFirst());
    } catch (const std::exception& e) {
        ShowInfo(e.what());
    }
}

void PreviewWindow::RequestPdf() {
    pdfRequested_ = true;
    accept();
}

bool RunPreviewDialog(const PreviewPages& pages) {
    PreviewWindow window(pages, QApplication::activeWindow());
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
    return window.exec() == QDialog::Accepted && window.PdfRequested();
}

}  // namespace ovista
