#pragma once

#include <functional>

namespace pbx {

/* Items of the page's frequency group. */
inline constexpr int kPaceRandom = 0;
inline constexpr int kPaceOneSecond = 1;
inline constexpr int kPaceTenSeconds = 2;

/*
 * The gap in milliseconds before the next record for a frequency item: "1 Second" (1) gives 1000,
 * "10 Seconds" (2) gives 10000, and "Random" (0), no item (-1) or any other value draws a number
 * from generator, takes it modulo 10000 and gives that, with 0 turned into 10; the result then lies
 * between 1 and 9999. An empty generator stands for std::rand, which the caller seeds. Tests pass
 * their own generator to check the bounds. A negative draw is taken by its remainder's size.
 */
int paceInterval(int freqItem, const std::function<int()> &generator = {});

} // namespace pbx
