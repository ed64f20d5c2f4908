#pragma once
// The herd's rates from the counts of the mating arrays (and, in year-round herds, from the
// counts the year-round analysis keeps): non-return rate, conception rate by technician,
// submission rates, calving spread, yields, and the in-calf rates estimated from
// submission, non-return and recalving data where no pregnancy-test tables can be used.
//
// Rates are whole percentages (ratio x 100, halves to even) in 16 bits; a rate whose
// denominator is 0 is left as it was. Count fields take the denominator. A value that does
// not fit its 16 bits raises RangeError.
namespace ovista {

struct AnalysisContext;

// Seasonal and split herds: share of AI services on mating days 1..n not followed by a
// return, where n ends 23 days before the end of AI, so only services with at least 24
// days of AI after them count. Writes NRR, NRRNo and the window MSD..MSD + 200; nothing
// when the end of AI is less than 23 days after the MSD or no service counts.
void NonReturnRate(AnalysisContext& context);

// Year-round herds: non-return rate from the year-round counts. The window dates are
// cleared; a rate above 70 % (second inseminations probably unrecorded) is dropped with its
// count.
void YearRoundNonReturnRate(AnalysisContext& context);

// Counts the services marked for the conception rate in the mating group (on or after the
// MSD, except in year-round herds), the window they span, and inseminations and pregnancies
// per technician: entries 0 to 9 by technician in upper case, entry 10 for services without
// a technician or beyond the tenth.
void ConceptionRateByTech(AnalysisContext& context);

// Cows analysed, conception rate, calving spread (seasonal and split herds: all cows,
// induced cows, first calvers), the mating dates and the mean daily yields of first calvers
// and mature cows (litres, one decimal).
void HerdRates(AnalysisContext& context);

// Cows analysed, heat intervals, and the submission rates: 10-day, 3-week and early mature
// 3-week for seasonal and split herds (only when the AI records cover those days; the
// counts are written regardless), 80-day and mature 80-day for year-round herds.
void SubmissionRates(AnalysisContext& context);

// The 6-week in-calf rate of seasonal and split herds from the 3-week submission rate, the
// non-return rate (when it rests on 50 services and is at most 70 %) and the early calvers;
// the 100-day in-calf rate of year-round herds from the estimated 100-day total, or Error 6
// when no cow is behind it. Nothing without current cows.
void EstimateICR(AnalysisContext& context);

// In-calf rate from recalvings: seasonal herds' 6-week rate (Error 5 when at most 70 % of
// the current cows recalved the next season), year-round herds' 100-day rate from the
// 382-day year (Error 7 without calved or recalved cows). Error 8 when the analysed period
// has no recalving information, Error 9 for split herds.
void RecalvingICR(AnalysisContext& context);

}  // namespace ovista
