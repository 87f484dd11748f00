#include "fetch/random_pick.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "fetch/address_list.h"

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// "起始数或结束数都必须≥1"
const Text kMessage =
    "\xC6\xF0\xCA\xBC\xCA\xFD\xBB\xF2\xBD\xE1\xCA\xF8\xCA\xFD\xB6\xBC\xB1\xD8"
    "\xD0\xEB\xA1\xDD\x31";

TEST(DrawFromCounter, Cases) {
  struct {
    const char* what;
    std::uint64_t counter;
    std::uint32_t want;
  } const cases[] = {
      // The generator's well-known first outputs for states 0 and 1, and the
      // second output after state 1.
      {"state 0", 0, 38},
      {"state 1", 1, 41},
      {"state after 1", 2745024, 18467},
      {"only the low 32 bits count", 0x500000001ull, 41},
      // This counter makes the step 0x80290000: the top bit is cut off.
      {"15-bit cut", 0x080DF641, 41},
      {"all ones", 0xFFFFFFFFull, 35},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DrawFromCounter(c.counter), c.want) << c.what;
  }
}

TEST(DrawFromCounter, StaysWithin15Bits) {
  for (std::uint64_t counter = 0; counter < (1u << 20); counter += 7) {
    ASSERT_LE(DrawFromCounter(counter * 4099), 32767u) << counter;
  }
}

TEST(NumberFromDraw, Cases) {
  struct {
    const char* what;
    std::uint32_t draw;
    std::int32_t min, max, want;
  } const cases[] = {
      {"pick range", 41, 1, 2721, 42},
      {"top of the pick range", 2720, 1, 2721, 2721},
      {"pick range wraps", 2721, 1, 2721, 1},
      {"largest draw in the pick range", 32767, 1, 2721, 116},
      {"max 0 reads as 2147483647", 41, 0, 0, 41},
      {"max 0, largest draw", 32767, 0, 0, 32767},
      {"range wider than 32768", 32767, 1, 100000, 32768},
      {"one number", 12345, 5, 5, 5},
      {"negative min", 5, -3, 3, 2},
      {"span above int32, unsigned", 41, kMin + 1, kMax, kMin + 42},
      {"span of all 2^32 numbers", 41, kMin, kMax, kMin + 41},
      {"all numbers through max 0", 32767, kMin, 0, kMin + 32767},
      {"near the top", 3, kMax - 5, kMax, kMax - 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NumberFromDraw(c.draw, c.min, c.max), c.want) << c.what;
  }
}

// 32768 = 12 * 2721 + 116: the numbers 1 to 116 come 13 times in 32768
// draws, the others 12 times.
TEST(NumberFromDraw, PickRangeWeights) {
  std::vector<int> seen(kPickDrawBound + 1, 0);
  for (std::uint32_t draw = 0; draw <= 32767; ++draw) {
    std::int32_t n = NumberFromDraw(draw, 1, kPickDrawBound);
    ASSERT_GE(n, 1);
    ASSERT_LE(n, kPickDrawBound);
    ++seen[static_cast<std::size_t>(n)];
  }
  for (std::int32_t n = 1; n <= kPickDrawBound; ++n) {
    EXPECT_EQ(seen[static_cast<std::size_t>(n)], n <= 116 ? 13 : 12) << n;
  }
}

TEST(NumberTextFromDraw, Cases) {
  struct {
    const char* what;
    std::uint32_t draw;
    std::int32_t start, end, parity;
    Text want;
  } const cases[] = {
      {"start 0", 3, 0, 5, 0, kMessage},
      {"end 0", 3, 5, 0, 0, kMessage},
      {"negative start", 3, -1, 5, 1, kMessage},
      {"one number", 3, 7, 7, 0, "7"},
      {"one even number, odd asked: moves below", 3, 4, 4, 1, "3"},
      {"one odd number, even asked: moves below", 3, 5, 5, 2, "4"},
      {"pick", 41, 1, kPickDrawBound, 0, "42"},
      {"odd asked, even drawn: moves up", 1, 1, 10, 1, "3"},
      {"odd asked, even end drawn: moves down", 9, 1, 10, 1, "9"},
      {"even asked, odd drawn: moves up", 0, 1, 10, 2, "2"},
      {"right parity stays", 2, 1, 10, 1, "3"},
      {"reversed, odd asked, 10 drawn: leaves the range", 9, 10, 1, 1, "11"},
      {"reversed, even asked, 1 drawn: leaves the range", 0, 10, 1, 2, "0"},
      {"reversed, inner number", 4, 10, 1, 0, "5"},
      {"parity 3 is any", 1, 1, 10, 3, "2"},
      {"parity -1 is any", 1, 1, 10, -1, "2"},
      {"move past 2147483647", 5, kMax, kMax - 5, 2, "2147483648"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NumberTextFromDraw(c.draw, c.start, c.end, c.parity), c.want)
        << c.what;
  }
}

// The real counter: only the bounds are checked, never a particular value.
TEST(RandomDraws, StayInTheirRanges) {
  for (int i = 0; i < 2000; ++i) {
    std::int32_t any = RandomInRange();
    ASSERT_GE(any, 0);
    ASSERT_LE(any, 32767);
    std::int32_t n = ToInt(RandomNumberText(10, 1));
    ASSERT_GE(n, 1);
    ASSERT_LE(n, 10);
    std::int32_t odd = ToInt(RandomNumberText(1, 10, 1));
    ASSERT_EQ(odd % 2, 1) << odd;
    ASSERT_LE(odd, 10);
    std::int32_t pick = ToInt(RandomNumberText(1, kPickDrawBound));
    ASSERT_GE(pick, 1);
    ASSERT_LE(pick, kPickDrawBound);
  }
  EXPECT_EQ(RandomNumberText(0, 5), kMessage);
  EXPECT_EQ(RandomNumberText(5, 0), kMessage);
  EXPECT_EQ(RandomNumberText(4, 4, 1), "3");
  EXPECT_EQ(ToInt(RandomNumberText(0, 5)), 0);
}

TEST(LineOfText, Cases) {
  struct {
    const char* what;
    Text text;
    std::int32_t n;
    Text want;
  } const cases[] = {
      {"empty line counts", "a\r\n\r\nb", 2, ""},
      {"after an empty line", "a\r\n\r\nb", 3, "b"},
      {"past the last line", "a\r\n\r\nb", 4, ""},
      {"one line", "a", 1, "a"},
      {"empty text", "", 1, ""},
      {"final CR LF makes no line", "a\r\n", 2, ""},
      {"final CR LF cut off", "a\r\nb\r\n", 2, "b"},
      {"lone CR and LF are bytes of a line", "a\rb\nc\r\nd", 1, "a\rb\nc"},
      {"line 0", "a\r\nb", 0, ""},
      {"line -1", "a\r\nb", -1, ""},
      {"smallest line number", "a\r\nb", kMin, ""},
      {"largest line number", "a\r\nb", kMax, ""},
      {"two-byte characters", "\xD6\xD0\r\n\xCE\xC4", 2, "\xCE\xC4"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LineOfText(c.text, c.n), c.want) << c.what;
  }
}

// Several workers pick at the same time, each on its own copy of the list.
TEST(Pick, RunsOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 25; ++i) {
        Text list = ToText(AddressList);
        std::int32_t n = ToInt(RandomNumberText(1, kPickDrawBound));
        Text address = LineOfText(list, n);
        bool fine =
            n <= 2395 ? TextLeft(address, 7) == "http://" : address.empty();
        if (!fine) ++failures[static_cast<std::size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
