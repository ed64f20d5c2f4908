#pragma once
// How many stars a result earns and whether it needs advice. A value of 0 is "no result":
// no stars and no advice mark.

namespace ovista {

// Higher is better: 1 star below averageFrom, 3 from averageFrom, 5 from topFrom; 0 for no result.
int StarCount(double value, double averageFrom, double topFrom);
// Lower is better: 5 stars below topBelow, 3 below averageBelow, else 1; 0 for no result.
int StarCountLow(double value, double averageBelow, double topBelow);

// The aim page 1 prints beside a headline figure and the thresholds of its stars. The trend
// page and the centre benchmark take them from here, so all three always agree. (The
// not-in-calf rate's aim depends on the weeks of mating: NicrTarget.)
struct RatingTarget {
    int aim;
    int averageFrom;  // lower is better: the value below which 3 stars are given
    int topFrom;      // lower is better: the value below which 5 stars are given
    bool lowerIsBetter = false;
    int Stars(double value) const {
        return lowerIsBetter ? StarCountLow(value, averageFrom, topFrom) : StarCount(value, averageFrom, topFrom);
    }
};
inline constexpr RatingTarget kIcr6wkTarget{71, 60, 69};
inline constexpr RatingTarget kSr3wkTarget{86, 75, 80};
inline constexpr RatingTarget kCrSeasonalTarget{53, 49, 53};  // seasonal and split herds
inline constexpr RatingTarget kCrYearRoundTarget{51, 43, 51};
inline constexpr RatingTarget kCalv6wkTarget{94, 77, 84};
inline constexpr RatingTarget kIcr100dTarget{58, 45, 55};
inline constexpr RatingTarget kNicr200dTarget{13, 19, 14, true};
inline constexpr RatingTarget kSr80dTarget{73, 61, 67};

enum class AdviceMark { None, Ok, SeekAdvice };
// Higher is better: "OK" from the threshold up.
AdviceMark AdviceFor(double value, double threshold);
// Lower is better: "OK" up to and including the threshold, advice above it.
AdviceMark AdviceForLow(double value, double threshold);

}  // namespace ovista
