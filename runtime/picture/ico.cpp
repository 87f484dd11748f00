// ICO and CUR: our own reader of the icon directory. Of the entries that
// point at a whole image inside the file, the largest (then the deepest)
// is shown: a bitmap with its AND mask or 32-bit alpha (bmp.cpp), or a PNG.
#include "runtime/picture/decoders.h"

namespace {

constexpr std::size_t kDirectory = 6;
constexpr std::size_t kEntry = 16;

bool SniffIcon(ByteSpan h, std::uint8_t type) {
  return h[0] == 0 && h[1] == 0 && h[2] == type && h[3] == 0 &&
         Le16(h.data() + 4) != 0;
}

// Size and depth from the image itself: cursors keep their hot spot where
// icons keep planes and depth, and writers often leave the directory's
// fields at zero.
struct Candidate {
  ByteSpan image;
  bool png = false;
  std::int64_t pixels = 0;
  int depth = 0;
};

bool Inspect(ByteSpan image, Candidate& c) {
  c.image = image;
  if (image.size() >= 8 && SniffPng(image.first(8))) {
    if (image.size() < 26) return false;
    const std::uint8_t* ihdr = image.data() + 16;
    const std::int64_t w =
        std::int64_t{ihdr[0]} << 24 | ihdr[1] << 16 | ihdr[2] << 8 | ihdr[3];
    const std::int64_t h =
        std::int64_t{ihdr[4]} << 24 | ihdr[5] << 16 | ihdr[6] << 8 | ihdr[7];
    const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int type = ihdr[9] < 7 ? ihdr[9] : 0;
    if (w > kMaxPictureSide || h > kMaxPictureSide) return false;
    c.png = true;
    c.pixels = w * h;
    c.depth = ihdr[8] * channels[type];
    return true;
  }
  if (image.size() < 40 || Le32(image.data()) < 40) return false;
  const std::int64_t w = static_cast<std::int32_t>(Le32(image.data() + 4));
  const std::int64_t h = static_cast<std::int32_t>(Le32(image.data() + 8)) / 2;
  c.pixels = w * h;  // both below 2^31: no overflow
  c.depth = Le16(image.data() + 14);
  return true;
}

}  // namespace

bool SniffIco(ByteSpan head) { return SniffIcon(head, 1); }
bool SniffCur(ByteSpan head) { return SniffIcon(head, 2); }

bool DecodeIco(ByteSpan data, PictureSink& sink) {
  if (data.size() < kDirectory) return false;
  const std::size_t count = Le16(data.data() + 4);
  Candidate best;
  bool found = false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kDirectory + i * kEntry;
    if (at + kEntry > data.size()) break;
    const std::uint32_t size = Le32(data.data() + at + 8);
    const std::uint32_t offset = Le32(data.data() + at + 12);
    // An entry reaching outside the file is skipped.
    if (offset < kDirectory || offset > data.size() ||
        size > data.size() - offset || size == 0) {
      continue;
    }
    Candidate c;
    if (!Inspect(data.subspan(offset, size), c)) continue;
    if (!found || c.pixels > best.pixels ||
        (c.pixels == best.pixels && c.depth > best.depth)) {
      best = c;
      found = true;
    }
  }
  if (!found) return false;
  if (best.png) return DecodePng(best.image, sink);
  return DecodeDib(best.image, 0, true, sink);
}
