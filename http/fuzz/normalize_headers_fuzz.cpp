// NormalizeHeaderNames on any header block: it only drops lines and changes
// the case of letters, so the result is never longer than the block, and a
// second pass changes nothing.
#include "http/fuzz/fuzz_pieces.h"
#include "http/headers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  Text block = FuzzPieces(data, size, 1)[0];
  Text normal = NormalizeHeaderNames(block);
  FuzzCheck(normal.size() <= block.size());
  FuzzCheck(NormalizeHeaderNames(normal) == normal);
  FuzzCheck(HeaderValue(normal).size() <= normal.size());
  return 0;
}
