// Small files that unpack into enormous pictures, of every format, through
// the path a fetched body takes to the window (PreparePicture for the
// picture frame). Each is made here, none is stored. Each case reports
// whether it showed a picture, how long it took and how much the process's
// resident memory grew at its peak.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "runtime/picture/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

const BoxSpec kFrame{189, 189, DisplayMode::CentreShrink, kButtonFace, true};

// ---- byte helpers
// ----------------------------------------------------------------

void Be32(Bytes& b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(v >> shift & 0xFF);
}
void Le16(Bytes& b, std::uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8 & 0xFF);
}
void Le32(Bytes& b, std::uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}

// `count` zero bytes, deflated as they are made (zlib stream).
Bytes DeflatedZeros(std::size_t count) {
  z_stream z{};
  deflateInit(&z, 9);
  std::vector<std::uint8_t> zeros(1 << 20, 0);
  Bytes out;
  std::vector<std::uint8_t> buffer(1 << 16);
  std::size_t left = count;
  int flush = Z_NO_FLUSH;
  do {
    const std::size_t n = std::min(left, zeros.size());
    left -= n;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = zeros.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      out.insert(out.end(), buffer.data(),
                 buffer.data() + (buffer.size() - z.avail_out));
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return out;
}

// ---- PNG
// ---------------------------------------------------------------------------

void Chunk(Bytes& png, const char* type, const Bytes& data) {
  Be32(png, static_cast<std::uint32_t>(data.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  png.insert(png.end(), typed.begin(), typed.end());
  Be32(png, static_cast<std::uint32_t>(
                crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A grey 8-bit PNG of w x h whose image data inflates to `rows` zero rows,
// with extra chunks before the image data.
Bytes GreyPng(std::uint32_t w, std::uint32_t h, std::uint32_t rows,
              const std::vector<std::pair<const char*, Bytes>>& extra = {}) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  Be32(ihdr, w);
  Be32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});  // depth 8, grey, no interlace
  Chunk(png, "IHDR", ihdr);
  for (const auto& [type, data] : extra) Chunk(png, type, data);
  Chunk(png, "IDAT", DeflatedZeros(std::size_t{rows} * (w + 1)));
  Chunk(png, "IEND", {});
  return png;
}

// A 1 x 1 PNG carrying a compressed text chunk that inflates to `size` bytes.
Bytes PngWithTextBomb(std::size_t size) {
  Bytes ztxt = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};  // keyword, method
  const Bytes text = DeflatedZeros(size);
  ztxt.insert(ztxt.end(), text.begin(), text.end());
  return GreyPng(1, 1, 1, {{"zTXt", ztxt}});
}

// ---- ICO and CUR around a PNG
// ------------------------------------------------------

Bytes IconAround(const Bytes& png, std::uint16_t type) {
  Bytes ico;
  Le16(ico, 0);
  Le16(ico, type);
  Le16(ico, 1);
  ico.insert(ico.end(), {0, 0, 0, 0});  // 256 x 256, no palette
  Le16(ico, 1);
  Le16(ico, 32);
  Le32(ico, static_cast<std::uint32_t>(png.size()));
  Le32(ico, 22);
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

// ---- GIF
// ---------------------------------------------------------------------------

int ToBytes(GifFileType* gif, const GifByteType* data, int size) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + size);
  return size;
}

// A GIF with a screen of sw x sh and one frame of fw x fh at (0, 0), every
// pixel colour 0, written by giflib.
Bytes GifOf(int sw, int sh, int fw, int fh) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, ToBytes, &error);
  if (gif == nullptr) return out;
  GifColorType colours[2] = {{0, 0, 0}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(2, colours);
  EGifPutScreenDesc(gif, sw, sh, 1, 0, map);
  EGifPutImageDesc(gif, 0, 0, fw, fh, false, nullptr);
  std::vector<GifPixelType> row(static_cast<std::size_t>(fw), 0);
  for (int y = 0; y < fh; ++y) EGifPutLine(gif, row.data(), fw);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// ---- JPEG
// --------------------------------------------------------------------------

// A baseline JPEG of 16 x 16 whose frame header is rewritten to say w x h:
// the scan ends long before the picture does.
Bytes JpegClaiming(std::uint16_t w, std::uint16_t h) {
  Bytes jpeg = EncodeJpeg(Solid(16, 16, 0xFF3366CC), JpegKind::kRgb, 90);
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0
      jpeg[i + 5] = h >> 8;
      jpeg[i + 6] = h & 0xFF;
      jpeg[i + 7] = w >> 8;
      jpeg[i + 8] = w & 0xFF;
      break;
    }
  }
  return jpeg;
}

// ---- BMP
// ---------------------------------------------------------------------------

// An 8-bit run-length BMP of w x h whose data is a single "end of bitmap".
Bytes RleBmp(std::uint32_t w, std::uint32_t h) {
  Bytes bmp = {'B', 'M'};
  const std::uint32_t offset = 14 + 40 + 2 * 4;
  Le32(bmp, offset + 2);
  Le32(bmp, 0);
  Le32(bmp, offset);
  Le32(bmp, 40);
  Le32(bmp, w);
  Le32(bmp, h);
  Le16(bmp, 1);
  Le16(bmp, 8);
  Le32(bmp, 1);  // BI_RLE8
  Le32(bmp, 2);
  Le32(bmp, 2835);
  Le32(bmp, 2835);
  Le32(bmp, 2);
  Le32(bmp, 0);
  Le32(bmp, 0x00000000);
  Le32(bmp, 0x00FFFFFF);
  bmp.insert(bmp.end(), {0, 1});
  return bmp;
}

// ---- PCX
// ---------------------------------------------------------------------------

// An 8-bit PCX of w x h made of runs of 63 pixels (the longest run), with a
// 256-colour palette at the end.
Bytes RunPcx(std::uint16_t w, std::uint16_t h) {
  Bytes pcx = {0x0A, 5, 1, 8};
  Le16(pcx, 0);
  Le16(pcx, 0);
  Le16(pcx, w - 1);
  Le16(pcx, h - 1);
  Le16(pcx, 72);
  Le16(pcx, 72);
  pcx.resize(pcx.size() + 48, 0);
  pcx.push_back(0);
  pcx.push_back(1);  // planes
  Le16(pcx, w);      // bytes per line
  Le16(pcx, 1);
  pcx.resize(128, 0);
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t left = w; left > 0;) {
      const std::uint32_t run = std::min<std::uint32_t>(left, 63);
      pcx.push_back(static_cast<std::uint8_t>(0xC0 | run));
      pcx.push_back(1);
      left -= run;
    }
  }
  pcx.push_back(0x0C);
  for (int i = 0; i < 256; ++i) pcx.insert(pcx.end(), {0x20, 0x80, 0xC0});
  return pcx;
}

// ---- memory
// ------------------------------------------------------------------------

long StatusKb(const char* name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) {
      return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
  }
  return -1;
}

// ---- the cases
// ---------------------------------------------------------------------

TEST(Bombs, SmallFilesThatUnpackHugeStayBounded) {
  struct Case {
    const char* what;
    Bytes data;
    bool picture;  // whether the frame then shows a picture
  };
  const Case cases[] = {
      {"PNG declaring 65535 x 65535", GreyPng(65535, 65535, 64), false},
      {"PNG 16384 x 16384 of zeros (the largest side taken)",
       GreyPng(16384, 16384, 16384), true},
      {"PNG 1 x 1 with a text chunk of 256 MiB", PngWithTextBomb(256u << 20),
       true},
      {"ICO holding a PNG declaring 65535 x 65535",
       IconAround(GreyPng(65535, 65535, 64), 1), false},
      {"CUR holding a PNG declaring 65535 x 65535",
       IconAround(GreyPng(65535, 65535, 64), 2), false},
      {"GIF screen 16384 x 16384, one frame of 16384 x 4",
       GifOf(16384, 16384, 16384, 4), false},
      {"GIF 8192 x 4096 of one colour", GifOf(8192, 4096, 8192, 4096), true},
      {"JPEG declaring 65500 x 65500", JpegClaiming(65500, 65500), false},
      {"JPEG declaring 16384 x 16384, 16 x 16 of data",
       JpegClaiming(16384, 16384), true},
      {"BMP run-length 16384 x 16384, one end-of-bitmap", RleBmp(16384, 16384),
       false},
      {"BMP run-length 8192 x 4096, one end-of-bitmap", RleBmp(8192, 4096),
       true},
      {"PCX 16384 x 2048 in runs of 63", RunPcx(16384, 2048), true},
  };
  for (const Case& c : cases) {
    ASSERT_GT(c.data.size(), 8u) << c.what << ": not made";
    const long before = StatusKb("VmRSS");
    std::ofstream("/proc/self/clear_refs") << "5";  // peak starts afresh
    const auto start = Clock::now();
    const PreparedPicture p = PreparePicture(c.data, kFrame);
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             Clock::now() - start)
                             .count();
    const long growth = StatusKb("VmHWM") - before;
    EXPECT_EQ(!p.frames.empty(), c.picture) << c.what;
    // A picture held whole may take 128 MiB of pixels; JPEG's own working
    // memory is capped at 256 MiB. Nothing may come near the size a file
    // claims (64 GiB of pixels for 65535 x 65535).
    EXPECT_LT(growth, 512L * 1024) << c.what;
    std::printf("[figure] %-52s %8zu bytes -> %-10s %6lld ms, peak +%ld MiB\n",
                c.what, c.data.size(),
                p.frames.empty() ? "no picture" : "picture", ms, growth / 1024);
  }
}

// The same small frame shows on a sensible screen, so the case above fails
// for its screen alone.
TEST(Bombs, GifWithAHugeScreenAndOneSmallFrame) {
  const PreparedPicture small = PreparePicture(GifOf(4, 4, 4, 4), kFrame);
  EXPECT_EQ(small.frames.size(), 1u) << "the frame itself decodes";
  const long before = StatusKb("VmRSS");
  std::ofstream("/proc/self/clear_refs") << "5";
  const PreparedPicture huge =
      PreparePicture(GifOf(65535, 65535, 4, 4), kFrame);
  const long growth = StatusKb("VmHWM") - before;
  EXPECT_TRUE(huge.frames.empty())
      << "a 65535 x 65535 screen is refused before anything is allocated";
  EXPECT_LT(growth, 16L * 1024);
  std::printf(
      "[figure] GIF screen 65535 x 65535, frame 4 x 4: %s, peak +%ld kB\n",
      huge.frames.empty() ? "no picture" : "picture", growth);
}

}  // namespace
