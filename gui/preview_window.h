#pragma once
// The "Print Preview" window behind RunPreviewDialog. Its controls carry object names
// ("printButton", "zoomList", "jpegButton", "pdfButton", "skipButton", "thumbnails",
// "pageView", "pageScroll", "pageTabs", "splitter", "statusBar") so tests and tools can find
// them.
#include <QDialog>
#include <functional>

#include "report/qt/preview_dialog.h"

class QComboBox;
class QListWidget;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QTabBar;

namespace ovista {

class PreviewPageView;

// Shows the pages in the modal "Print Preview" window, opened maximised, until the person
// closes it.
PreviewEnd RunPreviewDialog(const PreviewPages& pages, const PreviewActions& actions = {});

// The folder the save dialogs propose: the last one saved into during this run of the
// program, else the user's home folder.
QString LastSaveFolder();
void SetLastSaveFolder(const QString& folder);

class PreviewWindow : public QDialog {
public:
    // Entries of the zoom list, in order.
    enum class Zoom { Percent50, Percent100, Percent150, Percent200, PageWidth, PageHeight, WholePage };

    // The save dialog: the file chosen under title, starting at proposedPath; empty when the
    // person cancels.
    using SaveDialog = std::function<QString(QWidget* parent, const QString& title,
                                             const QString& proposedPath, const QString& filter)>;

    explicit PreviewWindow(const PreviewPages& pages, const PreviewActions& actions = {},
                           QWidget* parent = nullptr);

    // How the window was left; Closed until it is.
    PreviewEnd End() const { return end_; }
    // Screen pixels per page pixel of the page view.
    double Scale() const;
    // Screen pixels per page pixel at 100 %.
    double ActualSizeScale() const;
    // The page shown, counting from 0.
    int CurrentPage() const { return current_; }
    // Shows the page, from its top.
    void ShowPage(int index);
    void SetZoom(Zoom zoom);
    // One step up or down the percentages (the fits count by their scale).
    void ZoomStep(int direction);
    // Stands in for the file dialogs of "Save to PDF" and "Save to JPEG".
    void SetSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }

    // "Save to PDF": asks for the file over the preview and writes it; the window stays.
    void SavePdf();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Print();
    void SaveJpeg();
    void SyncTabs();
    void UpdateScale();
    bool PageKey(int key, Qt::KeyboardModifiers modifiers);

    const PreviewPages& pages_;
    PreviewActions actions_;
    SaveDialog saveDialog_;
    Zoom zoom_ = Zoom::PageWidth;
    int current_ = 0;
    PreviewEnd end_ = PreviewEnd::Closed;

    QPushButton* printButton_;
    QComboBox* zoomList_;
    QPushButton* jpegButton_;
    QPushButton* pdfButton_;
    QPushButton* skipButton_;
    QListWidget* thumbnails_;
    QScrollArea* scroll_;
    PreviewPageView* view_;
    QTabBar* tabs_;
    QStatusBar* statusBar_;
};

}  // namespace ovista
