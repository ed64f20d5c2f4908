#pragma once
// The "Print Preview" window behind RunPreviewDialog. Its controls carry object names
// ("printButton", "zoomList", "jpegButton", "pdfButton", "thumbnails", "pageView",
// "pageTabs", "splitter") so tests and tools can find them.
#include <QDialog>

#include "report/qt/preview_dialog.h"

class QComboBox;
class QListWidget;
class QPushButton;
class QScrollArea;
class QTabBar;

namespace ovista {

class PreviewPageView;

class PreviewWindow : public QDialog {
public:
    // Entries of the zoom list, in order.
    enum class Zoom { Percent50, Percent100, Percent150, Percent200, PageWidth, PageHeight, WholePage };

    explicit PreviewWindow(const PreviewPages& pages, QWidget* parent = nullptr);

    // True once "Save to PDF" closed the window.
    bool PdfRequested() const { return pdfRequested_; }
    // Screen pixels per page pixel of the page view.
    double Scale() const;
    // Screen pixels per page pixel at 100 %.
    double ActualSizeScale() const;
    // The page shown, counting from 0.
    int CurrentPage() const { return current_; }
    void ShowPage(int index);
    void SetZoom(Zoom zoom);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Print();
    void SaveJpeg();
    void RequestPdf();
    void SyncTabs();
    void UpdateScale();

    const PreviewPages& pages_;
    Zoom zoom_ = Zoom::PageWidth;
    int current_ = 0;
    bool pdfRequested_ = false;

    QPushButton* printButton_;
    QComboBox* zoomList_;
    QPushButton* jpegButton_;
    QPushButton* pdfButton_;
    QListWidget* thumbnails_;
    QScrollArea* scroll_;
    PreviewPageView* view_;
    QTabBar* tabs_;
};

}  // namespace ovista
