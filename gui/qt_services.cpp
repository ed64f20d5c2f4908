#include "gui/qt_services.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace ovista {

class QtStatusWindow : public StatusWindow {
public:
    QtStatusWindow(QtServices& services, QWidget* window) : services_(services), window_(window) {}
    ~QtStatusWindow() override {
        services_.Remove(window_);
        delete window_;
    }

private:
    QtServices& services_;
    QWidget* window_;
};

namespace {

// Short enough for the title bar of a small message box.
const QString kMessageTitle = QStringLiteral("Ovista");

// The message as a box shows it: a path is never broken after one of its separators (a word
// joiner follows each), so a long one moves to a line of its own instead.
QString UnbrokenPaths(const std::string& message) {
    QString text = QString::fromStdString(message);
    static const QString kSeparatorJoined = QStringLiteral("/") + QChar(0x2060);
    text.replace(QLatin1Char('/'), kSeparatorJoined);
    return text;
}

// The program's main window when it is shown: a message with no active window to sit over
// (a preview just closed, say) opens over it rather than at a corner of the screen.
QWidget* ShownMainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget) != nullptr && widget->isVisible()) return widget;
    }
    return nullptr;
}

QWidget* MakeStatusForm(const std::string& message) {
    auto* form = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                          Qt::WindowStaysOnTopHint);
    form->setObjectName("TStatusForm");
    form->setAttribute(Qt::WA_ShowWithoutActivating);

    auto* msg = new QLabel(QString::fromStdString(message), form);
    msg->setObjectName("Msg");
    msg->setAlignment(Qt::AlignCenter);
    msg->setWordWrap(true);
    msg->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto* progressPanel = new QWidget(form);
    progressPanel->setObjectName("ProgressPanel");
    auto* progressBar = new QProgressBar(progressPanel);
    progressBar->setObjectName("ProgressBar");
    progressBar->setRange(0, 1000);
    auto* panelLayout = new QVBoxLayout(progressPanel);
    panelLayout->setContentsMargins(4, 0, 4, 4);
    panelLayout->addWidget(progressBar);
    progressPanel->hide();

    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(msg, 1);
    layout->addWidget(progressPanel);
    form->resize(400, 90);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = form->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        form->move(frame.topLeft());
    }
    return form;
}

}  // namespace

QtServices::QtServices() = default;

QtServices::~QtServices() = default;

void QtServices::ShowInfo(const std::string& message) {
    ShowMessage(MessageKind::Information, message);
}

void QtServices::ShowMessage(MessageKind kind, const std::string& message) {
    const QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                                   : kind == MessageKind::Warning ? QMessageBox::Warning
                                                                  : QMessageBox::Information;
    QWidget* over = QApplication::activeModalWidget();
    if (over == nullptr) over = QApplication::activeWindow();
    if (over != nullptr && std::find(stack_.begin(), stack_.end(), over) != stack_.end()) {
        over = nullptr;  // never a child of a status window, which stands aside below
    }
    if (over == nullptr) over = ShownMainWindow();
    QMessageBox box(icon, kMessageTitle, UnbrokenPaths(message), QMessageBox::Ok, over);
    box.setObjectName("messageBox");
    if (auto* label = box.findChild<QLabel*>("qt_msgbox_label")) {
        label->setAlignment(Qt::AlignCenter);
    }
    // The status windows stay on top of everything; while a message waits they step aside.
    std::vector<QWidget*> hidden;
    for (QWidget* window : stack_) {
        if (window->isVisible()) {
            window->hide();
            hidden.push_back(window);
        }
    }
    box.exec();
    for (QWidget* window : hidden) window->show();
    if (!stack_.empty()) stack_.back()->raise();
}

std::unique_ptr<StatusWindow> QtServices::ShowStatus(const std::string& message) {
    QWidget* form = MakeStatusForm(message);
    stack_.push_back(form);
    form->show();
    form->raise();
    form->repaint();
    return std::make_unique<QtStatusWindow>(*this, form);
}

void QtServices::PumpMessages() { QCoreApplication::processEvents(); }

QWidget* QtServices::TopStatusWindow() const { return stack_.empty() ? nullptr : stack_.back(); }

void QtServices::Remove(QWidget* window) {
    const bool wasTop = !stack_.empty() && stack_.back() == window;
    stack_.erase(std::remove(stack_.begin(), stack_.end(), window), stack_.end());
    if (wasTop && !stack_.empty()) stack_.back()->raise();
}

}  // namespace ovista
