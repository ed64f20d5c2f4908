#include "report/page_marks_draw.h"

namespace ovista {

void DrawPageMarks(ReportCanvas& canvas, const PageMarks& marks) {
    double previousRight = 0;
    for (const PageMark& mark : marks) {
        canvas.SetFont(mark.pointSize, mark.bold);
        switch (mark.kind) {
            case PageMark::Kind::Text:
                if (mark.keepInCell) {
                    previousRight = canvas.DrawTextInCell(mark.text, mark.x, mark.y, mark.pointSize, mark.bold);
                    break;
                }
                if (mark.ownerLine) {
                    previousRight = canvas.DrawOwnerLine(mark.text, mark.x, mark.y, mark.pointSize, mark.bold);
                    break;
                }
                canvas.DrawTextAt(mark.text, mark.x, mark.y);
                previousRight = mark.x + canvas.TextWidth(mark.text);
                break;
            case PageMark::Kind::TextRight:
                canvas.DrawTextRight(mark.text, mark.x, mark.y);
                break;
            case PageMark::Kind::TextCentred:
                canvas.DrawTextCentred(mark.text, mark.measure, mark.x, mark.y);
                break;
            case PageMark::Kind::RaisedSuffix:
                // The smaller font with the same cell top sits high against the larger text.
                canvas.DrawTextAt(mark.text, previousRight, mark.y);
                break;
            case PageMark::Kind::Stars:
                canvas.DrawStars(mark.x, mark.y, mark.count);
                break;
            case PageMark::Kind::Advice:
                canvas.DrawAdvice(mark.x, mark.y, mark.ok);
                break;
        }
    }
}

}  // namespace ovista
