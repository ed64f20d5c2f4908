#include "gui/date_field.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>

namespace ovista {

std::optional<QDate> ParseDayMonthYear(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,2})\\s*([/.-])\\s*(\\d{1,2})\\s*\\2\\s*(\\d{2}|\\d{4})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    int year = match.captured(4).toInt();
    if (match.capturedLength(4) == 2) year += year < 50 ? 2000 : 1900;
    if (year < 1900) return std::nullopt;
    const QDate date(year, match.captured(3).toInt(), match.captured(1).toInt());
    if (!date.isValid()) return std::nullopt;
    return date;
}

DateField::DateField(QWidget* parent) : QWidget(parent) {
    edit_ = new QLineEdit(this);
    edit_->setObjectName("dateText");
    edit_->setPlaceholderText("dd/mm/yyyy");
    edit_->setMinimumWidth(edit_->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) +
                           edit_->fontMetrics().averageCharWidth() * 2);
    edit_->installEventFilter(this);
    calendarButton_ = new QToolButton(this);
    calendarButton_->setObjectName("calendarButton");
    calendarButton_->setArrowType(Qt::DownArrow);
    calendarButton_->setToolTip("Choose the date in a calendar (Alt+Down)");
    calendarButton_->setFocusPolicy(Qt::NoFocus);  // the keyboard opens it from the field
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(edit_);
    layout->addWidget(calendarButton_);
    setFocusProxy(edit_);

    connect(calendarButton_, &QToolButton::clicked, this, [this] { ShowCalendar(); });
    connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (ParseDayMonthYear(text)) SetMarked(false);
    });
    connect(edit_, &QLineEdit::editingFinished, this, [this] { CheckText(); });
}

QDate DateField::date() const { return ParseDayMonthYear(edit_->text()).value_or(QDate()); }

void DateField::setDate(const QDate& date) {
    edit_->setText(date.toString(QStringLiteral("dd/MM/yyyy")));
    replaceOnTyping_ = true;
    SetMarked(false);
}

QString DateField::text() const { return edit_->text(); }

bool DateField::CheckText() {
    const std::optional<QDate> date = ParseDayMonthYear(edit_->text());
    if (date) {
        setDate(*date);  // in the field's own form: 31/5/26 reads 31/05/2026
    } else {
        SetMarked(true);
    }
    return date.has_value();
}

void DateField::SetMarked(bool marked) {
    edit_->setStyleSheet(marked ? QStringLiteral("QLineEdit { background-color: #ffd0d0; }")
                                : QString());
    edit_->setToolTip(marked ? QStringLiteral("Not a date: type it as day/month/year, such as "
                                              "31/05/2026")
                             : QString());
}

bool DateField::eventFilter(QObject* watched, QEvent* event) {
    if (watched != edit_) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        replaceOnTyping_ = ParseDayMonthYear(edit_->text()).has_value();
        // After the click that gave the focus has placed the cursor.
        QTimer::singleShot(0, edit_, [edit = edit_] {
            if (edit->hasFocus()) edit->selectAll();
        });
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F4 ||
            (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier) != 0)) {
            ShowCalendar();
            return true;
        }
        const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint() &&
                           (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
        if (typed || key->matches(QKeySequence::Paste)) {
            if (replaceOnTyping_) edit_->clear();
            replaceOnTyping_ = false;
        } else if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                   key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Undo)) {
            replaceOnTyping_ = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DateField::ShowCalendar() {
    auto* calendar = new QCalendarWidget(this);
    calendar->setObjectName("calendarPopup");
    calendar->setWindowFlags(Qt::Popup);
    calendar->setAttribute(Qt::WA_DeleteOnClose);
    const QDate shown = date();
    if (shown.isValid()) calendar->setSelectedDate(shown);
    connect(calendar, &QCalendarWidget::clicked, this, [this, calendar](const QDate& picked) {
        setDate(picked);
        calendar->close();
        edit_->setFocus(Qt::PopupFocusReason);
    });
    connect(calendar, &QCalendarWidget::activated, calendar, &QCalendarWidget::clicked);
    calendar->adjustSize();
    calendar->move(mapToGlobal(QPoint(0, height())));
    calendar->show();
    calendar->setFocus(Qt::PopupFocusReason);
}

}  // namespace ovista
