// One pick of an address as the fetch worker makes it, against a plain split
// of the same bytes with the standard library, which is the floor. Run by
// hand: build-*/bench/pick_bench.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "fetch/address_list.h"
#include "fetch/random_pick.h"

namespace {

// The list converted to a text, a number drawn, that line copied out.
void BM_Pick(benchmark::State& state) {
  for (auto _ : state) {
    Text list = ToText(AddressList);
    Text number = RandomNumberText(1, kPickDrawBound);
    Text address = LineOfText(list, ToInt(number));
    benchmark::DoNotOptimize(address);
  }
}
BENCHMARK(BM_Pick);

// The same work with nothing but std::string: copy, split at CR LF into
// owned lines, take one.
void BM_PlainSplitFloor(benchmark::State& state) {
  for (auto _ : state) {
    std::string list(reinterpret_cast<const char*>(AddressList.data()),
                     AddressList.size());
    std::int32_t n = RandomInRange(1, kPickDrawBound);
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < list.size()) {
      std::size_t end = list.find("\r\n", begin);
      if (end == std::string::npos) end = list.size();
      lines.emplace_back(list, begin, end - begin);
      begin = end + 2;
    }
    std::string address = n >= 1 && static_cast<std::size_t>(n) <= lines.size()
                              ? lines[static_cast<std::size_t>(n) - 1]
                              : std::string();
    benchmark::DoNotOptimize(address);
  }
}
BENCHMARK(BM_PlainSplitFloor);

// The parts of a pick on their own.
void BM_ListToText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ToText(AddressList));
}
BENCHMARK(BM_ListToText);

void BM_SplitList(benchmark::State& state) {
  const Text list = ToText(AddressList);
  for (auto _ : state) benchmark::DoNotOptimize(SplitText(list, "\r\n"));
}
BENCHMARK(BM_SplitList);

void BM_Draw(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(RandomNumberText(1, kPickDrawBound));
  }
}
BENCHMARK(BM_Draw);

}  // namespace

BENCHMARK_MAIN();
