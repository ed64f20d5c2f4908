#pragma once
// A year typed with the wrong century (01/01/2202 for 01/01/2002) puts a day count beyond
// the 16 bits the analysis holds it in, and the range error would cost the farmer the whole
// herd's report. Such a herd is analysed once more without the lactations that hold a date
// no farm record can have: one more than 25 years before or after the analysis date.
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "herd/herd_list.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace ovista {

inline constexpr int kMistypedYearDays = 9131;  // 25 years of 365.25 days

// A lactation with a date more than kMistypedYearDays from the analysis date; the first
// such date in the order calving, dry-off, culling, next calving, services, pregnancy tests.
struct MistypedLactation {
    int index = 0;      // in the herd list as loaded
    std::string field;  // "culling date", "service date", ...
    Date date = 0;
};

// Every lactation of the herd with such a date, in list order; dates of 0 (none) are not.
std::vector<MistypedLactation> FindMistypedLactations(const HerdList& herd, Date analysisDate);

// The earliest and latest dates (0, no date, left out) of lactations, so that a herd analysed
// as of several dates is walked once to tell that none of its dates is mistyped for any.
class LactationDateSpan {
public:
    // Adds the lactation's dates; returns the earliest of them and of the conception dates its
    // pregnancy tests point to (a test's date less its weeks pregnant, for weeks above 0); the
    // lowest Date for a lactation without a calving date.
    Date Add(const CowRecord& lactation);
    // True when a date added lies more than kMistypedYearDays from analysisDate.
    bool HoldsMistyped(Date analysisDate) const;
    // The earliest that Add returned, and the latest date added (0 when none was).
    Date EarliestWithConceptions() const { return withConceptions_; }
    Date Latest() const { return latest_; }

private:
    Date earliest_ = 0;
    Date latest_ = 0;
    Date withConceptions_ = std::numeric_limits<Date>::max();
    bool any_ = false;
};

// "lactation <cow> calved <dd/mm/yyyy> left out: <field> <dd/mm/yyyy> is more than 25 years
// from the analysis date".
std::string LeftOutMessage(const CowRecord& lactation, const MistypedLactation& mistyped);

// Runs analyse on herd. When that raises RangeError and herd (as loaded, before the first
// attempt trimmed and completed it) holds mistyped lactations, each is named in a message
// beginning "<herdFile>: ", the trace in workingFolder says the herd is analysed again, and
// analyse runs once more on a list of the other lactations as loaded; its outcome, error
// included, is the herd's. Any other error, or a range error of a herd without mistyped
// lactations, comes out of the first attempt as it is. A herd without mistyped lactations
// costs one pass over its dates; of the others, the lactations that are not mistyped are
// copied as loaded into a list of their own before the first attempt.
void AnalyseLeavingOutMistypedYears(HerdList& herd, Date analysisDate,
                                    const std::string& herdFile,
                                    const std::string& workingFolder,
                                    const std::function<void(HerdList& herd)>& analyse,
                                    UserServices& services = Services());

}  // namespace ovista
