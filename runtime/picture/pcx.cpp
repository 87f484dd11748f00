// PCX: our own decoder for the forms its signature admits: 8 bits per plane
// (one plane with the 256-colour palette at the end, or greyscale without
// it; three planes RGB, four RGBA) and version 3's 1 bit per plane (black
// and white, or up to four planes over the default 16 colours). Rows are
// run-length decoded one at a time into the sink.
#include <vector>

#include "runtime/picture/decoders.h"

namespace {

constexpr std::size_t kHeader = 128;
constexpr std::size_t kPaletteTail = 769;  // 0x0C, then 256 RGB triples

// The 16 colours a version 3 file (no palette of its own) shows.
constexpr Pixel kDefault16[16] = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA,
    0xFFAA5500, 0xFFAAAAAA, 0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF,
    0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF,
};

}  // namespace

bool SniffPcx(ByteSpan h) {
  return h[0] == 0x0A && h[2] == 1 &&
         ((h[1] <= 5 && h[3] == 8) || (h[1] == 3 && h[3] == 1));
}

bool DecodePcx(ByteSpan data, PictureSink& sink) {
  if (data.size() < kHeader) return false;
  const std::uint8_t* p = data.data();
  const int bpp = p[3];
  const int planes = p[65];
  const std::uint16_t x0 = Le16(p + 4), y0 = Le16(p + 6), x1 = Le16(p + 8),
                      y1 = Le16(p + 10);
  const std::size_t per_line = Le16(p + 66);
  if (x1 < x0 || y1 < y0) return false;
  const std::int32_t w = x1 - x0 + 1, h = y1 - y0 + 1;
  if (w > kMaxPictureSide || h > kMaxPictureSide) return false;
  if (bpp == 8 ? (planes != 1 && planes != 3 && planes != 4)
               : (bpp != 1 || planes < 1 || planes > 4)) {
    return false;
  }
  if (per_line < (static_cast<std::size_t>(w) * bpp + 7) / 8) return false;

  // One 8-bit plane: the palette at the very end when there is one (the
  // encoded rows stop before it), otherwise grey.
  std::size_t end = data.size();
  Pixel palette[256];
  if (bpp == 8 && planes == 1) {
    const bool tail = data.size() >= kHeader + kPaletteTail &&
                      p[data.size() - kPaletteTail] == 0x0C;
    for (unsigned i = 0; i < 256; ++i) {
      if (tail) {
        const std::uint8_t* c = p + data.size() - kPaletteTail + 1 + 3 * i;
        palette[i] = MakePixel(255, c[0], c[1], c[2]);
      } else {
        palette[i] = MakePixel(255, i, i, i);
      }
    }
    if (tail) end -= kPaletteTail;
  }

  if (!sink.BeginFrame(w, h, w, h)) return false;
  std::vector<std::uint8_t> line(per_line * planes);
  std::vector<Pixel> out(w);
  std::size_t at = kHeader;
  unsigned run = 0;  // a run may go on into the next row
  std::uint8_t value = 0;
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::uint8_t& byte : line) {
      while (run == 0) {              // 0xC0 is a run of nothing: read on
        if (at >= end) return false;  // truncated
        const std::uint8_t c = p[at++];
        if (c >= 0xC0) {
          if (at >= end) return false;
          run = c & 0x3F;
          value = p[at++];
        } else {
          run = 1;
          value = c;
        }
      }
      byte = value;
      --run;
    }
    for (std::int32_t x = 0; x < w; ++x) {
      if (bpp == 8) {
        if (planes == 1) {
          out[x] = palette[line[x]];
        } else {
          out[x] =
              MakePixel(planes == 4 ? line[3 * per_line + x] : 255, line[x],
                        line[per_line + x], line[2 * per_line + x]);
        }
      } else {
        unsigned index = 0;
        for (int plane = 0; plane < planes; ++plane) {
          index |= ((line[plane * per_line + x / 8] >> (7 - x % 8)) & 1u)
                   << plane;
        }
        out[x] = planes == 1 ? (index ? 0xFFFFFFFFu : 0xFF000000u)
                             : kDefault16[index];
      }
    }
    sink.PutRow(out.data());
  }
  sink.EndFrame();
  return true;
}
