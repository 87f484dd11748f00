#include "fetch/random_pick.h"

#include <algorithm>
#include <cmath>

#include "platform/tsc.h"

namespace {

// "起始数或结束数都必须≥1": start and end must both be at least 1.
const Text kStartEndMessage =
    "\xC6\xF0\xCA\xBC\xCA\xFD\xBB\xF2\xBD\xE1\xCA\xF8\xCA\xFD\xB6\xBC\xB1\xD8"
    "\xD0\xEB\xA1\xDD\x31";

// Parity is read from the remainder on reals, as whole numbers give it.
bool HasRemainder(std::int64_t v, double remainder) {
  return std::fabs(RealRemainder(static_cast<double>(v), 2.0) - remainder) <
         0.0000001;
}

}  // namespace

std::uint32_t DrawFromCounter(std::uint64_t counter) {
  auto t = static_cast<std::uint32_t>(counter);
  std::uint32_t u = t * 214013u + 2531011u;
  return (u >> 16) & 0x7FFFu;
}

std::int32_t NumberFromDraw(std::uint32_t draw, std::int32_t min,
                            std::int32_t max) {
  if (max == 0) max = 2147483647;
  auto span =
      static_cast<std::uint32_t>(max) - static_cast<std::uint32_t>(min) + 1u;
  // A span of all 2^32 values wraps to 0; modulo 2^32 leaves the draw as it
  // is, and dividing by the wrapped 0 would fault.
  std::uint32_t offset = span == 0 ? draw : draw % span;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(min) + offset);
}

std::int32_t RandomInRange(std::int32_t min, std::int32_t max) {
  // Read afresh on every call: no seed, no state.
  return NumberFromDraw(DrawFromCounter(ReadTimeStampCounter()), min, max);
}

Text NumberTextFromDraw(std::uint32_t draw, std::int32_t start,
                        std::int32_t end, std::int32_t parity) {
  if (start < 1 || end < 1) return kStartEndMessage;
  // Wide enough for a move past 2147483647.
  std::int64_t v =
      NumberFromDraw(draw, std::min(start, end), std::max(start, end));
  if ((parity == 1 && HasRemainder(v, 0)) ||
      (parity == 2 && HasRemainder(v, 1))) {
    v = v == end ? v - 1 : v + 1;
  }
  return ToText(v);
}

Text RandomNumberText(std::int32_t start, std::int32_t end,
                      std::int32_t parity) {
  return NumberTextFromDraw(DrawFromCounter(ReadTimeStampCounter()), start, end,
                            parity);
}

Text LineOfText(const Text& text, std::int32_t n) {
  TextArray lines = SplitText(text, "\r\n");
  if (n < 1 || n > ArrayCount(lines)) return Text();
  return ArrayMember(lines, n);
}
