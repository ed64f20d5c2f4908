#include "gui/preview_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWheelEvent>
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

// The steps of Ctrl++ and Ctrl+-, in percent of the page's actual size.
constexpr double kZoomPercents[] = {50, 100, 150, 200};

QString& LastFolder() {
    static QString folder;
    return folder;
}

// The save dialog of the desktop, over the preview; asks before it replaces a file.
QString AskSaveFile(QWidget* parent, const QString& title, const QString& proposedPath,
                    const QString& filter) {
    QFileDialog dialog(parent, title, proposedPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QFileInfo(proposedPath).suffix());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

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

QString LastSaveFolder() {
    return LastFolder().isEmpty() ? QDir::homePath() : LastFolder();
}

void SetLastSaveFolder(const QString& folder) { LastFolder() = folder; }

PreviewWindow::PreviewWindow(const PreviewPages& pages, const PreviewActions& actions,
                             QWidget* parent)
    : QDialog(parent), pages_(pages), actions_(actions), saveDialog_(AskSaveFile) {
    setObjectName(QStringLiteral("printPreview"));
    setWindowTitle(actions_.caption.isEmpty()
                       ? QStringLiteral("Print Preview")
                       : QStringLiteral("Print Preview - ") + actions_.caption);
    setModal(true);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    printButton_ = new QPushButton(QStringLiteral("Print..."), this);
    printButton_->setObjectName(QStringLiteral("printButton"));
    printButton_->setAutoDefault(false);
    auto* zoomLabel = new QLabel(QStringLiteral("Zoom:"), this);
    zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    zoomList_ = new QComboBox(this);
    zoomList_->setObjectName(QStringLiteral("zoomList"));
    zoomList_->addItems({QStringLiteral("50%"), QStringLiteral("100%"), QStringLiteral("150%"),
                         QStringLiteral("200%"), QStringLiteral("Page Width"),
                         QStringLiteral("Page Height"), QStringLiteral("Whole Page")});
    zoomList_->setCurrentIndex(static_cast<int>(Zoom::PageWidth));
    zoomLabel->setBuddy(zoomList_);
    jpegButton_ = new QPushButton(QStringLiteral("Save to JPEG"), this);
    jpegButton_->setObjectName(QStringLiteral("jpegButton"));
    jpegButton_->setAutoDefault(false);
    pdfButton_ = new QPushButton(QStringLiteral("Save to PDF"), this);
    pdfButton_->setObjectName(QStringLiteral("pdfButton"));
    pdfButton_->setAutoDefault(false);
    pdfButton_->setVisible(static_cast<bool>(actions_.savePdf));
    skipButton_ = new QPushButton(QStringLiteral("Skip the remaining previews"), this);
    skipButton_->setObjectName(QStringLiteral("skipButton"));
    skipButton_->setAutoDefault(false);
    skipButton_->setToolTip(
        QStringLiteral("Close this preview and put out the remaining reports without showing them"));
    skipButton_->setVisible(actions_.offerSkip);
    for (QPushButton* button : {printButton_, jpegButton_, pdfButton_, skipButton_}) {
        button->setFocusPolicy(Qt::TabFocus);  // a click leaves the keyboard with the page
    }

    auto* toolbar = new QHBoxLayout;
    toolbar->addWidget(printButton_);
    toolbar->addSpacing(12);
    toolbar->addWidget(zoomLabel);
    toolbar->addWidget(zoomList_);
    toolbar->addSpacing(12);
    toolbar->addWidget(jpegButton_);
    toolbar->addWidget(pdfButton_);
    toolbar->addStretch(1);
    toolbar->addWidget(skipButton_);

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
    scroll_->setFocusPolicy(Qt::StrongFocus);
    view_ = new PreviewPageView(pages_, scroll_);
    scroll_->setWidget(view_);
    scroll_->installEventFilter(this);
    scroll_->viewport()->installEventFilter(this);

    tabs_ = new QTabBar(this);
    tabs_->setObjectName(QStringLiteral("pageTabs"));
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    tabs_->setFocusPolicy(Qt::NoFocus);
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

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(toolbar);
    layout->addWidget(splitter, 1);
    layout->addWidget(statusBar_);

    SyncTabs();
    ShowPage(0);
    UpdateScale();
    scroll_->setFocus();

    connect(printButton_, &QPushButton::clicked, this, [this] { Print(); });
    connect(jpegButton_, &QPushButton::clicked, this, [this] { SaveJpeg(); });
    connect(pdfButton_, &QPushButton::clicked, this, [this] { SavePdf(); });
    connect(skipButton_, &QPushButton::clicked, this, [this] {
        end_ = PreviewEnd::SkipRemaining;
        accept();
    });
    connect(zoomList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) SetZoom(static_cast<Zoom>(index));
    });
    connect(zoomList_, &QComboBox::activated, this, [this] { scroll_->setFocus(); });
    const auto shortcut = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { Print(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SavePdf(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { reject(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { ZoomStep(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { ZoomStep(1); });  // + unshifted
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { ZoomStep(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { SetZoom(Zoom::Percent100); });
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
    scroll_->verticalScrollBar()->setValue(0);
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

void PreviewWindow::ZoomStep(int direction) {
    const double actual = ActualSizeScale();
    if (actual <= 0) return;
    const double percent = Scale() / actual * 100;
    constexpr double kSame = 0.5;  // a fit within half a percent of a step is that step
    if (direction > 0) {
        for (int i = 0; i < 4; ++i) {
            if (kZoomPercents[i] > percent + kSame) return SetZoom(static_cast<Zoom>(i));
        }
    } else {
        for (int i = 3; i >= 0; --i) {
            if (kZoomPercents[i] < percent - kSame) return SetZoom(static_cast<Zoom>(i));
        }
    }
}

// Page Down at the bottom of a page goes on to the next page, Page Up at the top back to
// the end of the one before; Home and End go to the first and the last page.
bool PreviewWindow::PageKey(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & ~Qt::KeypadModifier) return false;
    QScrollBar* bar = scroll_->verticalScrollBar();
    const int last = static_cast<int>(pages_.pages.size()) - 1;
    switch (key) {
        case Qt::Key_PageDown:
            if (bar->value() < bar->maximum() || current_ >= last) return false;
            ShowPage(current_ + 1);
            return true;
        case Qt::Key_PageUp:
            if (bar->value() > bar->minimum() || current_ <= 0) return false;
            ShowPage(current_ - 1);
            bar->setValue(bar->maximum());
            return true;
        case Qt::Key_Home:
            ShowPage(0);
            return true;
        case Qt::Key_End:
            ShowPage(last);
            return true;
        default:
            return false;
    }
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_ && event->type() == QEvent::Resize) UpdateScale();
    if (watched == scroll_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (PageKey(key->key(), key->modifiers())) return true;
    }
    if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (const int turn = wheel->angleDelta().y(); turn != 0) ZoomStep(turn > 0 ? 1 : -1);
            return true;
        }
    }
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
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // Printing to a file is all there is: it proposes the report's name, as "Save to PDF"
        // does. (With a printer the dialog would choose the file over it.)
        printer.setOutputFileName(LastSaveFolder() + QLatin1Char('/') + actions_.reportName +
                                  QStringLiteral(".pdf"));
    }
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // Nothing may escape into the event loop: a failure is shown and the window stays.
    try {
        const WaitCursor busy;
        PrintPreviewPages(pages_, printer);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void PreviewWindow::SaveJpeg() {
    const QString chosen = saveDialog_(this, QStringLiteral("Save the report as JPEG pictures"),
                                       LastSaveFolder() + QLatin1Char('/') + actions_.reportName +
                                           QStringLiteral(".jpg"),
                                       QStringLiteral("JPEG pictures (*.jpg)"));
    if (chosen.isEmpty()) return;
    std::vector<QString> written;
    try {
        const WaitCursor busy;
        written = SaveJpegPages(pages_, chosen);
    } catch (const std::exception& e) {
        ShowError(e.what());
        return;
    }
    const QString folder = QFileInfo(chosen).absolutePath();
    SetLastSaveFolder(folder);
    QStringList names;
    for (const QString& file : written) names << QFileInfo(file).fileName();
    statusBar_->showMessage(QStringLiteral("Saved %1 in %2")
                                .arg(names.join(QStringLiteral(", ")), QDir::toNativeSeparators(folder)));
}

void PreviewWindow::SavePdf() {
    if (!actions_.savePdf) return;
    const QString chosen = saveDialog_(this, QStringLiteral("Save the report as a PDF file"),
                                       LastSaveFolder() + QLatin1Char('/') + actions_.reportName +
                                           QStringLiteral(".pdf"),
                                       QStringLiteral("PDF files (*.pdf)"));
    if (chosen.isEmpty()) return;  // back to the preview
    try {
        const WaitCursor busy;
        actions_.savePdf(chosen);
    } catch (const std::exception& e) {
        ShowError(e.what());  // names the file and the reason; the preview stays
        return;
    }
    SetLastSaveFolder(QFileInfo(chosen).absolutePath());
    statusBar_->showMessage(QStringLiteral("Saved the report as ") + QDir::toNativeSeparators(chosen));
}

PreviewEnd RunPreviewDialog(const PreviewPages& pages, const PreviewActions& actions) {
    PreviewWindow window(pages, actions, QApplication::activeWindow());
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
    window.exec();
    return window.End();
}

}  // namespace ovista
