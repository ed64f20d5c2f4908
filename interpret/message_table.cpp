// The table lines are kept as one text so the wording reads as it prints; it is split into
// lines once, on first use.
#include "interpret/message_table.h"

#include <vector>

#include "herd/services.h"

namespace ovista {
namespace {

constexpr std::string_view kMessageTable = R"msg([CPat_YR]
Your herd has been classified as year round calving because less than 80% of the herd calved during
the 21 weeks of the year with the most calvings.

[CPat_Seasonal]
Your herd has been classified as seasonally calving because most calvings
occurred in a single batch lasting less than 21 weeks.

[CPat_Split]
Your herd has been classified as split calving because more than 80% of calvings occurred in 2 or 3
distinct batches covering a total period of less than 21 weeks.

[Basis_EarlyPD]
Your good record keeping means a detailed analysis was possible for your herd.

[Basis_Calvings]
To obtain a more detailed and accurate report, provide additional mating information and pregnancy test most cows at an early stage of pregnancy.
Pregnancy testing at less than 17 weeks is recommended.

[Basis_PregTest]
To obtain a more detailed and accurate report, pregnancy test more cows at an earlier stage of pregnancy.
Pregnancy testing at less than 17 weeks is recommended.

[Basis_Matings]
To obtain a more detailed and accurate report, pregnancy test more cows at an early stage of pregnancy.
Pregnancy testing at less than 17 weeks is recommended.

[6wk_NoResultFromMatings]
Your report has been based on the mating information you supplied.
A 6-week in-calf rate COULD NOT BE ESTIMATED because 21 days of mating information was not available.
Supply mating records and results of early rectal pregnancy testing for greater accuracy.

[6wk_NoResultFromCalvings]
Your report has been based on the calving information you supplied.
A 6-week in-calf rate COULD NOT BE ESTIMATED because less than 70% of cows recalved in the following season.
Supply mating records and results of early rectal pregnancy testing for greater accuracy.

[6wk_Estimated_Calvings]
The 6-week in-calf rate reported HAS BEEN ESTIMATED from the calving information you provided.
Supply mating records and results of early rectal pregnancy testing for greater accuracy.

[6wk_Estimated_Matings]
The 6-week in-calf rate reported HAS BEEN ESTIMATED from the mating information you provided.
An actual result can only be calculated if early pregnancy test results are available.
Supply results of early rectal pregnancy testing for greater accuracy.

[6wk_Actual]
Your report has been based on the mating and pregnancy test results you supplied.
The ACTUAL 6 week in-calf rate is shown for your herd.

[NICR_None]
A not-in-calf rate COULD NOT BE CALCULATED because insufficient pregnancy test results were available.
Supply pregnancy test results for at least 85% of cows.

[NICR_Reported]
The not-in-calf rate reported was based on the results of pregnancy testing.

[100d_NoResultFromMatings]
Your report has been based on the mating information you supplied.
A 100-day in-calf rate COULD NOT BE ESTIMATED because insufficient mating information was available.
Supply mating records and results of early rectal pregnancy testing for greater accuracy.

[100d_NoResultFromCalvings]
Your report has been based on the calving information you supplied.
A 100-day in-calf rate COULD NOT BE ESTIMATED because less than 70% of cows had recalving information.
Supply mating records and results of early rectal pregnancy testing for greater accuracy.

[100d_Estimated_Calvings]
The 100-day in-calf rate reported HAS BEEN ESTIMATED from the calving information you provided.
Supply mating records and results of early rectal pregnancy testing for greater accuracy.

[100d_Estimated_Matings]
The 100-day in-calf rate reported HAS BEEN ESTIMATED from the mating information you provided.
An actual result can only be calculated if early pregnancy test results are available.
Supply results of early rectal pregnancy testing for greater accuracy.

[100d_Actual]
Your report has been based on the mating and pregnancy test results you supplied.
The ACTUAL 100-day in-calf rate is shown for your herd.

[200dNICR_None]
A 200 day not-in-calf rate COULD NOT BE CALCULATED because insufficient pregnancy test results were available.
Supply pregnancy test results for at least 85% of cows.

[200dNICR_Reported]
The 200 day not-in-calf rate reported was based on the results of pregnancy testing.

[3wk_Not21]
A submission rate COULD NOT BE CALCULATED because inusfficient records were available.
Supply at least 21 days of mating records.

[3wk_NoMatings]
A submission rate COULD NOT BE CALCULATED because inusfficient records were available.
Supply at least 21 days of mating records.

[3wkSRa]
cows had calving dates in the required range and

[3wkSRb]
of these were submitted during the first 21 days of mating.

[3wkSRc]
cows at least 4 years old at calving had calved at least 6 weeks before mating start date and

[80d_NoMatings]
A submission rate COULD NOT BE CALCULATED because inusfficient records were available.
Supply the details of all matings for analysis.

[80dSRa]
cows had calving dates in the required range and

[80dSRb]
of these were submitted during the first 80 days after calving.

[80dSRc]
cows were at least 4 years old at calving and

[NRR_NoMatings]
A non-return rate COULD NOT BE CALCULATED because insufficient records were available.
Supply at least 25 days of mating records.

[NRR_InsufficientMatings]
eligible inseminations were counted.
A non-return rate COULD NOT BE calculated because at least 50 inseminations must be followed by at least 24 days of AI.

[NRR_NoReturns]
The calculated non-return rate was very high suggesting that second inseminations may not have been recorded.
Please check that all mating records have been supplied.

[NRR_OK]
eligible inseminations were used in calculating the non-return rate.

[NRR_CRBetter]
Non-return rate is not calculated when pregnancy test results provide an accurate estimate of conception rate.

[CR_None]
A conception rate COULD NOT BE CALCULATED because insufficient pregnancy test results were available.
Supply pregnancy test results to confirm the success or failure of at least 50 inseminations.

[CR_OK]
eligible inseminations were used in calculating your herd's conception rate.

[HeiferPattern_No2yo]
No cows were recorded as calving at less than 34 months of age.
Please check that all birth dates of your cows have been supplied.

[HeiferPattern_No6wk]
No cows that calved at less than 34 months of age had a calving date in the first three weeks of calving.

[HeiferPattern_OK]
cows with eligible calving dates were recorded as calving at less than 34 months of age.
The calving pattern of first calvers was calculated from their records.

[1stCalverMilk_None]
A ratio between 1st calver and mature cow production COULD NOT BE CALCULATED. You may have too few 1st calvers in your herd,
insufficient birth dates or herd test records.
You need herd test records for at least 20 first calvers.

[1stCalverMilk_TooFew]
A ratio between 1st calver and mature cow production COULD NOT BE CALCULATED because insufficient herd test records were available.
You may have too few 1st calvers in your herd (at least 20 are required) or you may need to supply additional herd test records.

[HerdPattern_None]
No calving dates were found in the required range.

[HerdPattern_OK]
cows had calving dates that were eligible for this report.

[3wkMature_NoOlds]
A submission rate for early calved mature cows COULD NOT BE CALCULATED.
Supply mating records and ages for cows more than 4 years old and calved more than 6 weeks at Mating Start Date.

[80dMature_NoOlds]
A submission rate for mature cows COULD NOT BE CALCULATED.
Supply mating records and ages for cows more than 4 years at calving.

[AIPractice_None]
Conception rates for different technicians COULD NOT BE COMPARED because insufficient mating records had a technician recorded
or insufficient early pregnancy test records were available.
Supply the date, technician identifier, and the results of early pregnancy testing for
at least 50 inseminations to allow a comparison to be made.

[AIPractice_OK]
Only significant differences in the conception rates achieved by different technicians are reported.
Technicians require at least 50 inseminations before a valid comparison can be made.

[Bulls_None]
Early pregnancy test results are required to allow performance after the first six weeks of mating to be assessed.

[Bulls_OK]
Your herd's not-in-calf rate and 6-week in-calf rate were used to determine the success of your herd's mating program
after the first six weeks. If bulls were used after week 6 of mating, this gives an assessment of how well they got cows in calf.

[Induced_zero]
The % of cows induced COULD NOT BE CALCULATED because no calvings were flagged as induced.
If you did induce cows, please ensure that they are all identified.

[Induced_OK]
% of cows were identified as having induced calvings.

[1824a]
heat intervals were analysed and of these

[1824b]
were in the range of 18 to 24 days.

[VWP]
Voluntary Waiting Period is estimated from calving to first insemination intervals.
At least 50 cows must have intervals recorded in order to make the estimate.

)msg";

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (end == std::string_view::npos) {
            lines.push_back(text);
            break;
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return lines;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::span<const std::string_view> MessageTableLines() {
    static const std::vector<std::string_view> lines = SplitLines(kMessageTable);
    return lines;
}

std::string LookupMessage(std::string_view key) { return LookupMessage(MessageTableLines(), key); }

std::string LookupMessage(std::span<const std::string_view> table, std::string_view key) {
    const std::string header = "[" + std::string(key) + "]";
    std::string result;
    bool found = false;
    for (const std::string_view line : table) {
        if (line.empty()) continue;
        if (found) {
            if (line.find('[') != std::string_view::npos) return result;
            if (!result.empty()) result += ' ';
            result += line;
        }
        // Tested after the append, so the header itself never joins the text.
        if (EqualsIgnoringCase(line, header)) found = true;
    }
    if (found) return result;
    ShowInfo("Could not find message for " + std::string(key));
    return {};
}

}  // namespace ovista
