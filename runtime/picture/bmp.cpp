// BMP: our own decoder for the bitmaps Windows writes and reads. Core, info,
// V4 and V5 headers; 1, 4, 8, 16, 24 and 32 bits; bit fields; RLE4 and RLE8;
// bottom-up and top-down. Icons (ico.cpp) use the same bitmap reader with
// their AND mask. Uncompressed rows go to the sink one at a time; RLE data
// may skip about the picture and is drawn on a held canvas first.
#include <algorithm>
#include <bit>
#include <vector>

#include "runtime/picture/decoders.h"

namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3,
                        kAlphaBitFields = 6;

// One colour channel held under a mask, widened to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

Channel MakeChannel(std::uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (mask != 0) {
    c.shift = std::countr_zero(mask);
    c.bits = std::bit_width(mask >> c.shift);
  }
  return c;
}

std::uint32_t Extract(const Channel& c, std::uint32_t value) {
  if (c.bits == 0) return 0;
  const std::uint32_t v = (value & c.mask) >> c.shift;
  if (c.bits >= 8) return v >> (c.bits - 8);
  return v * 255 / ((1u << c.bits) - 1);
}

struct Dib {
  ByteSpan bytes;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool top_down = false;
  int bpp = 0;
  std::uint32_t compression = kRgb;
  std::vector<Pixel> palette;
  Channel red, green, blue, alpha;
  std::size_t pixels = 0;  // offset of the pixels in bytes
  std::size_t stride = 0;  // bytes per stored row
  bool icon = false;
};

// Reads header, masks and palette; false for anything we cannot show.
bool ReadHeader(ByteSpan dib, std::uint32_t pixels_at, bool icon, Dib& d) {
  d.bytes = dib;
  d.icon = icon;
  if (dib.size() < 12) return false;
  const std::uint32_t header = Le32(dib.data());
  const std::uint8_t* p = dib.data();
  std::int64_t height = 0;
  std::size_t entry = 4;  // palette entry size
  if (header == 12) {     // core header: unsigned 16-bit sizes
    d.width = Le16(p + 4);
    height = Le16(p + 6);
    d.bpp = Le16(p + 10);
    entry = 3;
  } else if (header == 40 || header == 52 || header == 56 || header == 64 ||
             header == 108 || header == 124) {
    if (dib.size() < header) return false;
    const auto w = static_cast<std::int32_t>(Le32(p + 4));
    height = static_cast<std::int32_t>(Le32(p + 8));
    if (w < 1 || w > kMaxPictureSide) return false;
    d.width = w;
    d.bpp = Le16(p + 14);
    d.compression = Le32(p + 16);
  } else {
    return false;
  }
  if (height < 0) {
    d.top_down = true;
    height = -height;
  }
  if (icon) height /= 2;  // the colour bitmap, then the AND mask
  if (d.width < 1 || d.width > kMaxPictureSide || height < 1 ||
      height > kMaxPictureSide) {
    return false;
  }
  d.height = static_cast<std::int32_t>(height);

  switch (d.compression) {
    case kRgb:
      if (d.bpp != 1 && d.bpp != 4 && d.bpp != 8 && d.bpp != 16 &&
          d.bpp != 24 && d.bpp != 32) {
        return false;
      }
      break;
    case kRle8:
      if (d.bpp != 8) return false;
      break;
    case kRle4:
      if (d.bpp != 4) return false;
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (d.bpp != 16 && d.bpp != 32) return false;
      break;
    default:
      return false;  // JPEG or PNG inside a BMP, or unknown
  }

  // Masks: inside the V2 and later headers, else right after an info header.
  std::size_t at = header;
  if (d.compression == kBitFields || d.compression == kAlphaBitFields) {
    const std::size_t masks_at = header >= 52 ? 40 : header;
    const std::size_t count =
        header >= 56 || d.compression == kAlphaBitFields ? 4 : 3;
    if (dib.size() < masks_at + 4 * count) return false;
    d.red = MakeChannel(Le32(p + masks_at));
    d.green = MakeChannel(Le32(p + masks_at + 4));
    d.blue = MakeChannel(Le32(p + masks_at + 8));
    if (count == 4) d.alpha = MakeChannel(Le32(p + masks_at + 12));
    if (header < 52) at += 4 * count;
  } else if (d.bpp == 16) {
    d.red = MakeChannel(0x7C00);
    d.green = MakeChannel(0x03E0);
    d.blue = MakeChannel(0x001F);
  } else if (d.bpp == 32) {
    d.red = MakeChannel(0xFF0000);
    d.green = MakeChannel(0xFF00);
    d.blue = MakeChannel(0xFF);
    d.alpha = MakeChannel(0xFF000000);  // used only when some pixel has it
  }

  // The palette runs up to the pixels (or the end of the data).
  const std::size_t pixels =
      pixels_at != 0 && pixels_at >= at ? pixels_at : std::size_t{0};
  if (d.bpp <= 8) {
    std::size_t count = std::size_t{1} << d.bpp;
    const std::uint32_t used = header >= 40 ? Le32(p + 32) : 0;
    if (used != 0 && used < count) count = used;
    const std::size_t room =
        ((pixels != 0 ? std::min(pixels, dib.size()) : dib.size()) -
         std::min(at, dib.size())) /
        entry;
    count = std::min(count, room);
    for (std::size_t i = 0; i < count; ++i, at += entry) {
      d.palette.push_back(MakePixel(255, p[at + 2], p[at + 1], p[at]));
    }
  }
  d.pixels = pixels != 0 ? pixels : at;
  d.stride = (static_cast<std::size_t>(d.width) * d.bpp + 31) / 32 * 4;
  return true;
}

// Row y of the picture, counted from the top, as stored rows count.
std::size_t StoredRow(const Dib& d, std::int32_t y) {
  return static_cast<std::size_t>(d.top_down ? y : d.height - 1 - y);
}

// Unpacks one stored row into pixels; false on a palette index past the
// palette.
bool UnpackRow(const Dib& d, const std::uint8_t* row, Pixel* out) {
  const std::int32_t w = d.width;
  switch (d.bpp) {
    case 1:
    case 4:
    case 8: {
      const int per_byte = 8 / d.bpp;
      const unsigned mask = (1u << d.bpp) - 1;
      for (std::int32_t x = 0; x < w; ++x) {
        const int shift = 8 - d.bpp * (x % per_byte + 1);
        const unsigned index = (row[x / per_byte] >> shift) & mask;
        if (index >= d.palette.size()) return false;
        out[x] = d.palette[index];
      }
      return true;
    }
    case 24:
      for (std::int32_t x = 0; x < w; ++x, row += 3) {
        out[x] = MakePixel(255, row[2], row[1], row[0]);
      }
      return true;
    default: {  // 16 and 32 through masks
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint32_t v =
            d.bpp == 16 ? Le16(row + 2 * x) : Le32(row + 4 * x);
        const std::uint32_t a = d.alpha.mask ? Extract(d.alpha, v) : 255;
        out[x] = MakePixel(a, Extract(d.red, v), Extract(d.green, v),
                           Extract(d.blue, v));
      }
      return true;
    }
  }
}

// Windows ignores the fourth byte of most 32-bit bitmaps, and many writers
// leave it zero: alpha counts only when some pixel has a nonzero one.
bool AnyAlpha(const Dib& d) {
  if (d.alpha.mask == 0) return false;
  for (std::int32_t y = 0; y < d.height; ++y) {
    const std::uint8_t* row = d.bytes.data() + d.pixels + y * d.stride;
    for (std::int32_t x = 0; x < d.width; ++x) {
      const std::uint32_t v =
          d.bpp == 16 ? Le16(row + 2 * x) : Le32(row + 4 * x);
      if (v & d.alpha.mask) return true;
    }
  }
  return false;
}

bool DecodeRows(Dib& d, PictureSink& sink) {
  const std::size_t used = (static_cast<std::size_t>(d.width) * d.bpp + 7) / 8;
  // Every row must be there; the last may lack its padding.
  if (d.pixels > d.bytes.size() ||
      (d.bytes.size() - d.pixels) < d.stride * (d.height - 1) + used) {
    return false;
  }
  if (!AnyAlpha(d)) d.alpha = Channel{};
  // An icon's AND mask follows its colour rows: a set bit is transparent.
  // Bitmaps with real alpha, and icons whose mask is cut off, ignore it.
  const std::size_t mask_stride =
      (static_cast<std::size_t>(d.width) + 31) / 32 * 4;
  const std::size_t mask_at = d.pixels + d.stride * d.height;
  const bool use_mask = d.icon && d.alpha.mask == 0 &&
                        mask_at <= d.bytes.size() &&
                        d.bytes.size() - mask_at >= mask_stride * d.height;
  if (!sink.BeginFrame(d.width, d.height, d.width, d.height)) return false;
  std::vector<Pixel> line(d.width);
  for (std::int32_t y = 0; y < d.height; ++y) {
    const std::size_t stored = StoredRow(d, y);
    if (!UnpackRow(d, d.bytes.data() + d.pixels + stored * d.stride,
                   line.data())) {
      return false;
    }
    if (use_mask) {
      const std::uint8_t* mask =
          d.bytes.data() + mask_at + stored * mask_stride;
      for (std::int32_t x = 0; x < d.width; ++x) {
        if (mask[x / 8] & (0x80 >> (x % 8))) line[x] = 0;
      }
    }
    sink.PutRow(line.data());
  }
  sink.EndFrame();
  return true;
}

// RLE4 and RLE8: runs, literal stretches, line ends and jumps. Pixels never
// drawn stay transparent. A run past its row or below the picture is
// malformed; data that stops early shows what was drawn.
bool DecodeRle(const Dib& d, PictureSink& sink) {
  if (std::int64_t{d.width} * d.height > kMaxHeldPixels) return false;
  std::vector<Pixel> canvas(static_cast<std::size_t>(d.width) * d.height, 0);
  const std::uint8_t* p = d.bytes.data();
  std::size_t at = d.pixels;
  const std::size_t end = d.bytes.size();
  const bool four = d.compression == kRle4;
  std::int64_t x = 0, y = 0;  // y counts stored rows
  auto put = [&](std::int64_t count, auto index_of) {
    if (y >= d.height || x + count > d.width) return false;
    Pixel* row = &canvas[static_cast<std::size_t>(
        (d.top_down ? y : d.height - 1 - y) * d.width)];
    for (std::int64_t i = 0; i < count; ++i) {
      const unsigned index = index_of(i);
      if (index >= d.palette.size()) return false;
      row[x++] = d.palette[index];
    }
    return true;
  };
  while (at + 2 <= end) {
    const unsigned a = p[at], b = p[at + 1];
    at += 2;
    if (a > 0) {  // a pixels of b (RLE4: its two nibbles in turn)
      if (!put(a, [&](std::int64_t i) {
            return four ? (i % 2 ? b & 15 : b >> 4) : b;
          })) {
        return false;
      }
    } else if (b == 0) {  // end of line
      x = 0;
      ++y;
    } else if (b == 1) {  // end of bitmap
      break;
    } else if (b == 2) {  // jump right and down
      if (at + 2 > end) break;
      x += p[at];
      y += p[at + 1];
      at += 2;
      if (x > d.width || y > d.height) return false;
    } else {  // b pixels stored as they are, padded to a 16-bit boundary
      const std::size_t bytes = four ? (b + 1) / 2 : b;
      if (at + bytes > end) break;
      const std::uint8_t* literal = p + at;
      if (!put(b, [&](std::int64_t i) {
            return four ? (i % 2 ? literal[i / 2] & 15 : literal[i / 2] >> 4)
                        : literal[i];
          })) {
        return false;
      }
      at += (bytes + 1) & ~std::size_t{1};
    }
  }
  if (!sink.BeginFrame(d.width, d.height, d.width, d.height)) return false;
  for (std::int32_t row = 0; row < d.height; ++row) {
    sink.PutRow(&canvas[static_cast<std::size_t>(row) * d.width]);
  }
  sink.EndFrame();
  return true;
}

}  // namespace

bool SniffBmp(ByteSpan head) { return head[0] == 'B' && head[1] == 'M'; }

bool DecodeDib(ByteSpan dib, std::uint32_t pixels_at, bool icon,
               PictureSink& sink) {
  Dib d;
  if (!ReadHeader(dib, pixels_at, icon, d)) return false;
  if (d.compression == kRle4 || d.compression == kRle8) {
    return DecodeRle(d, sink);
  }
  return DecodeRows(d, sink);
}

bool DecodeBmp(ByteSpan data, PictureSink& sink) {
  constexpr std::size_t kFileHeader = 14;
  if (data.size() < kFileHeader + 12) return false;
  const std::uint32_t offset = Le32(data.data() + 10);
  const std::uint32_t pixels_at =
      offset > kFileHeader ? offset - kFileHeader : 0;
  return DecodeDib(data.subspan(kFileHeader), pixels_at, false, sink);
}
