// TextBetween and TextBefore on any text, markers, start and case switch: the
// result is always a piece of the text.
#include "http/fuzz/fuzz_pieces.h"
#include "http/headers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the start position and the case switch.
  auto start = static_cast<std::int32_t>(data[0] >> 1) - 8;
  bool ignoreCase = (data[0] & 1) != 0;
  std::vector<Text> pieces = FuzzPieces(data + 1, size - 1, 3);
  const Text& text = pieces[0];
  Text between = TextBetween(text, pieces[1], pieces[2], start, ignoreCase);
  FuzzCheck(text.find(between) != Text::npos);
  Text before = TextBefore(text, pieces[1], start, ignoreCase);
  FuzzCheck(text.compare(0, before.size(), before) == 0);
  return 0;
}
