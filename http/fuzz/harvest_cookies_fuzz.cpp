// The Set-Cookie harvest on any response header block: no pair is taken from
// a block without a "Set-Cookie: " line, the result never ends with its
// separator unless a pair itself does, and it is never longer than the block.
#include "http/fuzz/fuzz_pieces.h"
#include "http/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const Text block = FuzzPieces(data, size, 1)[0];
  const Text harvest = HarvestCookies(block);
  if (FindText(block, "Set-Cookie: ") == -1) FuzzCheck(harvest.empty());
  FuzzCheck(harvest.size() <= block.size());
  return 0;
}
