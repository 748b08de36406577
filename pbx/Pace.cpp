#include "Pace.h"

#include <cstdlib>

namespace pbx {

int paceInterval(int freqItem, const std::function<int()> &generator) {
    if (freqItem == kPaceOneSecond)
        return 1000;
    if (freqItem == kPaceTenSeconds)
        return 10000;
    const int draw = generator ? generator() : std::rand();
    const int interval = std::abs(draw % 10000);
    return interval == 0 ? 10 : interval;
}

} // namespace pbx
