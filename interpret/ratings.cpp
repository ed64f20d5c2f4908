#include "interpret/ratings.h"

namespace ovista {

int StarCount(double value, double averageFrom, double topFrom) {
    if (value == 0) return 0;
    if (value >= topFrom) return 5;
    return value >= averageFrom ? 3 : 1;
}

int StarCountLow(double value, double averageBelow, double topBelow) {
    if (value == 0) return 0;
    if (value < topBelow) return 5;
    return value < averageBelow ? 3 : 1;
}

AdviceMark AdviceFor(double value, double threshold) {
    if (value == 0) return AdviceMark::None;
    return value >= threshold ? AdviceMark::Ok : AdviceMark::SeekAdvice;
}

AdviceMark AdviceForLow(double value, double threshold) {
    if (value == 0) return AdviceMark::None;
    return value > threshold ? AdviceMark::SeekAdvice : AdviceMark::Ok;
}

}  // namespace ovista
