// The random pick of a line: a number drawn from the processor's time-stamp
// counter, written as text, and the n-th line of a CR LF text. Nothing is
// kept between calls; any thread, any number at once.
#ifndef YK_FETCH_RANDOM_PICK_H_
#define YK_FETCH_RANDOM_PICK_H_

#include <cstdint>

#include "runtime/text.h"

// The pick draws over 1 to this bound, more than the list's line count: a
// number past the last line gives the empty address.
inline constexpr std::int32_t kPickDrawBound = 2721;

// A whole number from min to max taken from a fresh reading of the counter;
// max 0 stands for 2147483647. Only the first 32768 numbers of a wider range
// ever come out. Callers pass min not above max.
std::int32_t RandomInRange(std::int32_t min = 0, std::int32_t max = 0);

// A number between start and end (in either order) as decimal text; parity 1
// asks for an odd number, 2 for an even one, anything else for any. A number
// of the wrong parity moves by one: down when it equals end, else up, so a
// single-number range or a reversed one can be left. Start or end below 1
// gives the message "起始数或结束数都必须≥1" instead.
Text RandomNumberText(std::int32_t start, std::int32_t end,
                      std::int32_t parity = 0);

// Line n (from 1) of a text whose lines end in CR LF, without its CR LF; the
// empty text when there is no line n.
Text LineOfText(const Text& text, std::int32_t n);

// ---- the arithmetic of the draw, apart from the reading of the counter ----

// One step of the linear congruential generator on the counter's low 32
// bits, cut to 15 bits: 0 to 32767.
std::uint32_t DrawFromCounter(std::uint64_t counter);
// min + (draw modulo (max - min + 1)), in unsigned 32-bit arithmetic; max 0
// stands for 2147483647.
std::int32_t NumberFromDraw(std::uint32_t draw, std::int32_t min,
                            std::int32_t max);
// RandomNumberText for a given draw.
Text NumberTextFromDraw(std::uint32_t draw, std::int32_t start,
                        std::int32_t end, std::int32_t parity);

#endif  // YK_FETCH_RANDOM_PICK_H_
