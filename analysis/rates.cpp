#include "analysis/rates.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_context.h"
#include "analysis/mating_arrays.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

// AI records must reach this many days past a service before its non-return counts.
constexpr int kNonReturnDays = 23;
// Above this non-return rate a year-round herd's second inseminations are taken as missing.
constexpr int kYearRoundNRRLimit = 70;

bool IsYearRound(const AnalysisContext& context) {
    return context.report.AnalysisCalvingPattern == kYearRoundCalving;
}

// part / whole x 100, halves to even; whole must not be 0.
std::int16_t Percent(std::int64_t part, std::int64_t whole) {
    return RoundToInt16(static_cast<double>(part) / static_cast<double>(whole) * 100);
}

void Increment(std::int16_t& count) { count = CheckedInt16(std::int64_t{count} + 1); }

std::string UpperAscii(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// Entry of the technician table for a service: the named technician's entry (found or newly
// taken among entries 0 to 9), or the collecting entry for no technician or an eleventh.
TechnicianEntry& TechnicianFor(HerdReport& report, std::string_view tech) {
    if (tech.empty()) return report.Technicians[kUnspecifiedTechnician];
    const std::string name = UpperAscii(std::string(tech)).substr(0, kTechMax);
    for (std::size_t e = 0; e < kUnspecifiedTechnician; ++e) {
        TechnicianEntry& entry = report.Technicians[e];
        if (entry.Tech == name || entry.Tech.empty()) {
            entry.Tech = name;
            return entry;
        }
    }
    return report.Technicians[kUnspecifiedTechnician];
}

// The entries of the technicians met so far, by their number in the herd: a number finds the
// same entry every time (entries are taken in order and never given up), so its text is
// looked for once. A herd's services name few technicians.
class TechnicianEntries {
public:
    TechnicianEntries(HerdReport& report, const HerdList& herd) : report_(report), herd_(herd) {}

    TechnicianEntry& For(std::uint32_t number) {
        for (const auto& [known, entry] : known_) {
            if (known == number) return *entry;
        }
        TechnicianEntry& entry = TechnicianFor(report_, herd_.Technician(number));
        known_.emplace_back(number, &entry);
        return entry;
    }

private:
    HerdReport& report_;
    const HerdList& herd_;
    std::vector<std::pair<std::uint32_t, TechnicianEntry*>> known_;
};

// Mean daily yield with one decimal.
double MeanYield(double sum, std::int16_t count) {
    return RoundHalfEven(sum / count * 10) / 10;
}

}  // namespace

void NonReturnRate(AnalysisContext& context) {
    if (context.EOAI - kNonReturnDays < context.MSD) return;
    const std::int64_t lastDay = std::int64_t{context.EOAI} - kNonReturnDays - context.MSD + 1;
    const int days = static_cast<int>(std::min<std::int64_t>(lastDay, kMatingDays));
    std::int64_t insems = 0;
    std::int64_t returns = 0;
    for (int k = 1; k <= days; ++k) {
        insems += context.AIByDay[k];
        returns += context.ReturnsByDay[k];
    }
    if (insems <= 0) return;
    HerdReport& report = context.report;
    report.NRRSTart = context.MSD;
    report.NRRStop = CheckedDate(std::int64_t{context.MSD} + kMatingDays);
    report.NRR = Percent(insems - returns, insems);
    report.NRRNo = CheckedInt16(insems);
}

void YearRoundNonReturnRate(AnalysisContext& context) {
    HerdReport& report = context.report;
    report.NRRSTart = 0;
    report.NRRStop = 0;
    const std::int16_t insems = context.counters.YrNRRInsems;
    if (insems < 1) return;
    report.NRR = Percent(std::int64_t{insems} - context.counters.YrNRRReturns, insems);
    report.NRRNo = insems;
    if (report.NRR > kYearRoundNRRLimit) {
        report.NRR = 0;
        report.NRRNo = 0;
    }
}

void ConceptionRateByTech(AnalysisContext& context) {
    AnalysisCounters& counters = context.counters;
    HerdReport& report = context.report;
    counters.CountedServices = 0;
    counters.ConceptionServices = 0;
    const bool yearRound = IsYearRound(context);
    TechnicianEntries entries(report, context.herd);
    ForEachInGroups(context, [&](const CowRecord& cow) {
        if (!InMatingGroup(context, cow, report.CalvingStop, false, true)) return;
        for (const ServiceRecord& service : ServicesInUseLatestFirst(cow)) {
            if (!service.CountedService) continue;
            if (!yearRound && service.Date < context.MSD) continue;
            Increment(counters.CountedServices);
            if (service.ConceptionService) Increment(counters.ConceptionServices);
            if (report.CRSTart == 0 || report.CRSTart > service.Date) report.CRSTart = service.Date;
            if (service.Date > report.CRStop) report.CRStop = service.Date;
            TechnicianEntry& entry = entries.For(service.Tech);
            Increment(entry.Insems);
            if (service.ConceptionService) Increment(entry.Pregs);
        }
    });
}

void HerdRates(AnalysisContext& context) {
    const AnalysisCounters& c = context.counters;
    HerdReport& report = context.report;
    report.CowsAnalysed = c.CurrentCows;
    if (c.CountedServices != 0) report.CR = Percent(c.ConceptionServices, c.CountedServices);
    report.CRNo = c.CountedServices;

    if (!IsYearRound(context)) {
        if (c.CalvedCows > 0) {
            report.Calv3wk = Percent(c.CalvedBefore63, c.CalvedCows);
            report.Calv6wk = Percent(c.CalvedBefore42, c.CalvedCows);
            report.Calv9wk = Percent(c.CalvedBefore21, c.CalvedCows);
        }
        report.nCalved = c.CalvedCows;
        if (c.InducedCows > 0) {
            report.Induced3wk = Percent(c.InducedBefore63, c.InducedCows);
            report.Induced6wk = Percent(c.InducedBefore42, c.InducedCows);
            report.Induced9wk = Percent(c.InducedBefore21, c.InducedCows);
            // Induced cows are counted among the calved cows, so C > 0 here.
            report.InducedPct = Percent(c.InducedCows, c.CalvedCows);
        }
        if (c.TwoYearOlds > 0) {
            report.Calv3wk2yo = Percent(c.TwoYearOldsBefore63, c.TwoYearOlds);
            report.Calv6wk2yo = Percent(c.TwoYearOldsBefore42, c.TwoYearOlds);
        }
        report.Tot2yo = c.TwoYearOlds;
        report.MSD = context.MSD;
        report.EOMating = context.EOMating;
        report.EOAI = context.EOAI;
    }

    if (c.TwoYearOldYieldCount > 0) {
        report.Yield2yo = MeanYield(c.TwoYearOldYieldSum, c.TwoYearOldYieldCount);
    }
    report.n2yo = c.TwoYearOldYieldCount;
    if (c.MatureYieldCount > 0) {
        report.YieldMature = MeanYield(c.MatureYieldSum, c.MatureYieldCount);
    }
    report.nMature = c.MatureYieldCount;
}

void SubmissionRates(AnalysisContext& context) {
    const AnalysisCounters& c = context.counters;
    HerdReport& report = context.report;
    report.CowsAnalysed = c.CurrentCows;
    report.HeatIntervals = c.ReturnIntervals;
    report.HeatIntervals1824 = c.NormalReturnIntervals;

    if (IsYearRound(context)) {
        if (c.Eligible80d > 0) report.SR80d = Percent(c.Submitted80d, c.Eligible80d);
        report.SR80d_n = c.Eligible80d;
        if (c.MatureEligible80d > 0) {
            report.SR80dMature = Percent(c.MatureSubmitted80d, c.MatureEligible80d);
        }
        report.SR80dMature_n = c.MatureEligible80d;
        return;
    }

    // Days of AI records after the MSD: a submission rate needs its whole window covered.
    const std::int64_t aiDays = std::int64_t{context.EOAI} - context.MSD;
    if (c.Eligible3wk > 0 && aiDays >= 20) report.SR3wk = Percent(c.Submitted3wk, c.Eligible3wk);
    report.SR3wk_n = c.Eligible3wk;
    if (c.Eligible10d > 0 && aiDays >= 9) report.SR10d = Percent(c.Submitted10d, c.Eligible10d);
    report.SR10d_n = c.Eligible10d;
    if (c.MatureEligible3wk > 0 && aiDays >= 20) {
        report.SR3wkEarlyMature = Percent(c.MatureSubmitted3wk, c.MatureEligible3wk);
    }
    report.SR3wkEM_n = c.MatureEligible3wk;
}

void EstimateICR(AnalysisContext& context) {
    const AnalysisCounters& c = context.counters;
    HerdReport& report = context.report;
    const double cc = c.CurrentCows;
    if (c.CurrentCows <= 0) return;

    if (IsYearRound(context)) {
        context.trace.Line("Estimated 100d ICR  total estimate =", FormatFixed(c.Est100dTotal, 3),
                           " N=", report.Est100dN);
        if (report.Est100dN >= 1) {
            report.ICR100d = RoundToInt16(c.Est100dTotal / report.Est100dN * 100);
        } else {
            report.Error = kErrorNoEst100dCows;
        }
        return;
    }

    if (report.SR3wk < 1) return;
    const double sr = report.SR3wk;
    const double nrr = report.NRR;
    const double early = c.EarlyCalvers;
    if (report.NRRNo >= 50 && report.NRR <= 70) {
        report.ICR6wk = RoundToInt16(
            (sr * 0.4488 / 100 + 0.0101 + nrr * 0.1812 / 100 + early * 0.2163 / cc) * 100);
    } else {
        report.ICR6wk = RoundToInt16((sr * 0.4547 / 100 + 0.0915 + early * 0.2495 / cc) * 100);
    }
    context.trace.Line("Estimated 6wk ICR  SR=", FormatFixed(sr / 100, 3), " NRR=",
                       FormatFixed(nrr / 100, 3), " Early calvers=", c.EarlyCalvers,
                       "  Current cows=", c.CurrentCows);
}

void RecalvingICR(AnalysisContext& context) {
    const AnalysisCounters& c = context.counters;
    HerdReport& report = context.report;
    // A seasonal herd that fell back to recalvings without a recalving period has no period.
    if (context.PeriodIndex < 0 || !context.Period(context.PeriodIndex).RecalvingOK) {
        report.Error = kErrorNoRecalvingPeriod;
        return;
    }
    switch (report.AnalysisCalvingPattern) {
        case kSeasonalCalving: {
            context.trace.Line("Calved42 = ", c.Calved42);
            context.trace.Line("ReCalved42 = ", c.ReCalved42);
            context.trace.Line("ReCalvedNextYear = ", c.ReCalvedNextYear);
            if (c.Calved42 > 0 && c.ReCalved42 > 0 && c.CurrentCows > 0) {
                const double cc = c.CurrentCows;
                if (c.ReCalvedNextYear / cc <= 0.7) {
                    report.Error = kErrorTooFewRecalved;
                } else {
                    report.ICR6wk = RoundToInt16(
                        (c.Calved42 * 0.2919 / cc + 0.0686 + c.ReCalved42 * 0.5566 / cc) * 100);
                }
            }
            break;
        }
        case kSplitCalving:
            report.Error = kErrorSplitRecalving;
            break;
        case kYearRoundCalving: {
            context.trace.Line("yrLastRecalving= ", FormatDateText(report.LastRecalving));
            context.trace.Line("yrLastRecalving-382= ", FormatDateText(report.LastRecalving - 382));
            context.trace.Line("yrCalved382 = ", report.yrCalved382);
            context.trace.Line("yrReCalved382 = ", report.yrReCalved382);
            if (report.yrCalved382 <= 0 || report.yrReCalved382 <= 0) {
                report.Error = kErrorNoYearRoundRecalving;
            } else {
                report.ICR100d = RoundToInt16(
                    (report.yrReCalved382 * 1.0369 / report.yrCalved382 + 0.0305) * 100);
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace ovista
