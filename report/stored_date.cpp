#include "report/stored_date.h"

#include "analysis/herd_report.h"

namespace ovista {
namespace {
bool offsetOn = false;
}  // namespace

void SetStoredDateOffset(bool on) { offsetOn = on; }

bool StoredDateOffsetOn() { return offsetOn; }

Date StoredDateToDate(Date date) { return offsetOn ? date - kStoredDateOffset : date; }

}  // namespace ovista
