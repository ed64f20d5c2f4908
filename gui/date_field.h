#pragma once
// The analysis date of a single herd: a text field that takes a whole typed date, with a
// calendar beside it. A typed date never turns into another one: text that is no date stays
// as typed and is marked.
#include <QDate>
#include <QWidget>
#include <optional>

class QLineEdit;
class QToolButton;

namespace ovista {

// "31/05/2026", "31/5/2026" or "31/05/26" (a two-digit year below 50 is 20xx, else 19xx, as
// the analysis reads batch dates); '.' and '-' separate as well as '/'. Nothing for text that
// is no date of the years 1900 to 9999.
std::optional<QDate> ParseDayMonthYear(const QString& text);

class DateField : public QWidget {
public:
    explicit DateField(QWidget* parent = nullptr);

    // Invalid while the text is no date.
    QDate date() const;
    void setDate(const QDate& date);
    QString text() const;
    QLineEdit* lineEdit() const { return edit_; }

    // Marks the field while its text is no date; true when it is one.
    bool CheckText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowCalendar();
    void SetMarked(bool marked);

    QLineEdit* edit_ = nullptr;
    QToolButton* calendarButton_ = nullptr;
    // The text shows a whole date that the person has not begun to change: the first typed
    // character replaces it, wherever the cursor stands.
    bool replaceOnTyping_ = true;
};

}  // namespace ovista
