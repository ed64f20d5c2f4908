#pragma once
// How many stars a result earns and whether it needs advice. A value of 0 is "no result":
// no stars and no advice mark.

namespace ovista {

// Higher is better: 1 star below averageFrom, 3 from averageFrom, 5 from topFrom; 0 for no result.
int StarCount(double value, double averageFrom, double topFrom);
// Lower is better: 5 stars below topBelow, 3 below averageBelow, else 1; 0 for no result.
int StarCountLow(double value, double averageBelow, double topBelow);

enum class AdviceMark { None, Ok, SeekAdvice };
// Higher is better: "OK" from the threshold up.
AdviceMark AdviceFor(double value, double threshold);
// Lower is better: "OK" up to and including the threshold, advice above it.
AdviceMark AdviceForLow(double value, double threshold);

}  // namespace ovista
