// Cuts a fuzzer's input into the text arguments of one call: the pieces
// between zero bytes, which a text never holds. Used by the fuzz targets of
// the header, address and cookie routines only.
#ifndef YK_HTTP_FUZZ_FUZZ_PIECES_H_
#define YK_HTTP_FUZZ_FUZZ_PIECES_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/text.h"

// The first `count` pieces, missing ones empty; the last takes the rest,
// zero bytes dropped.
inline std::vector<Text> FuzzPieces(const std::uint8_t* data, std::size_t size,
                                    std::size_t count) {
  std::vector<Text> pieces(count);
  std::size_t at = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      if (at + 1 < count) ++at;
      continue;
    }
    pieces[at] += static_cast<char>(data[i]);
  }
  return pieces;
}

// Stops the run on a broken promise, so the fuzzer keeps the input.
inline void FuzzCheck(bool promise) {
  if (!promise) std::abort();
}

#endif  // YK_HTTP_FUZZ_FUZZ_PIECES_H_
