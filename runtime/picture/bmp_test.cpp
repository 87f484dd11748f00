#include <gtest/gtest.h>

#include "runtime/picture/test_support.h"

namespace {

TEST(Bmp, FilesFromOtherToolsShowTheProbe) {
  struct Case {
    const char* what;
    const char* file;
    bool alpha;
    int tolerance;
  } cases[] = {
      {"24 bit, info header (Pillow)", "bmp/pil_24.bmp", false, 0},
      {"24 bit, info header (ImageMagick)", "bmp/magick_info24.bmp", false, 0},
      {"24 bit, core header", "bmp/magick_core.bmp", false, 0},
      {"24 bit, top-down", "bmp/top_down_24.bmp", false, 0},
      {"8 bit palette", "bmp/pil_8.bmp", false, 0},
      {"4 bit palette (netpbm)", "bmp/netpbm_4.bmp", false, 0},
      {"4 bit, OS/2 core header", "bmp/netpbm_os2_4.bmp", false, 0},
      {"RLE8", "bmp/magick_rle8.bmp", false, 0},
      {"32 bit with alpha (Pillow)", "bmp/pil_32.bmp", true, 0},
      {"V5, bit fields with alpha", "bmp/magick_v5_alpha.bmp", true, 0},
      {"V5, RGB565 bit fields", "bmp/magick_rgb565.bmp", false, 8},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(ReadFixture(c.file));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    ExpectProbe(p.frames[0].image, c.alpha, c.tolerance, c.what);
  }
}

// A 4 x 2 bitmap, info header, 4 bits, RLE4, two palette entries used:
// 0 black, 1 white.
Bytes Rle4(std::initializer_list<std::uint8_t> stream) {
  Bytes b = {
      'B',         'M', 0, 0, 0,   0,   0,   0, 0, 0,  // type, size, reserved
      14 + 40 + 8, 0,   0, 0,                          // pixels at
      40,          0,   0, 0,                          // info header
      4,           0,   0, 0, 2,   0,   0,   0,        // 4 x 2, bottom-up
      1,           0,   4, 0,                          // planes, bits
      2,           0,   0, 0,                          // RLE4
      0,           0,   0, 0, 0,   0,   0,   0, 0, 0,
      0,           0,                            // image size, resolution
      2,           0,   0, 0, 0,   0,   0,   0,  // colours used, important
      0,           0,   0, 0, 255, 255, 255, 0,  // palette
  };
  return Join(b, stream);
}

TEST(Bmp, Rle4RunsLiteralsJumpsAndFaults) {
  constexpr Pixel k = 0xFF000000u, w = 0xFFFFFFFFu, t = 0;
  struct Case {
    const char* what;
    Bytes data;
    bool shown;
    Pixel want[2][4];  // top row first
  } cases[] = {
      {"runs, bottom row first",
       Rle4({4, 0x01, 0, 0, 2, 0x11, 2, 0x00, 0, 1}),
       true,
       {{w, w, k, k}, {k, w, k, w}}},
      {"literal of three, padded",
       Rle4({0, 3, 0x10, 0x10, 0, 0, 0, 0, 0, 1}),
       true,
       {{t, t, t, t}, {w, k, w, t}}},
      {"jump leaves pixels transparent",
       Rle4({0, 2, 2, 1, 2, 0x11, 0, 1}),
       true,
       {{t, t, w, w}, {t, t, t, t}}},
      {"no end of bitmap: what was drawn",
       Rle4({4, 0x11}),
       true,
       {{t, t, t, t}, {w, w, w, w}}},
      {"run past the row", Rle4({5, 0x11, 0, 1}), false, {}},
      {"run below the picture", Rle4({0, 0, 0, 0, 1, 0x11, 0, 1}), false, {}},
      {"jump past the picture", Rle4({0, 2, 0, 3, 0, 1}), false, {}},
      {"palette index past the palette", Rle4({2, 0x23, 0, 1}), false, {}},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(c.data);
    ASSERT_EQ(p.frames.size(), c.shown ? 1u : 0u) << c.what;
    if (!c.shown) continue;
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(At(p.frames[0].image, x, y), c.want[y][x])
            << c.what << " at " << x << "," << y;
      }
    }
  }
}

TEST(Bmp, AllZeroAlphaMeansOpaque) {
  // 32 bits, 1 x 1, BI_RGB, fourth byte 0: Windows shows the colour.
  const Bytes zero = {
      'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54,   0,    0,    0,  // file header
      40,  0,   0,  0, 1, 0, 0, 0, 1, 0, 0,    0,    1,    0,    32,
      0,   0,   0,  0, 0, 4, 0, 0, 0, 0, 0,    0,    0,    0,    0,
      0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0x30, 0x20, 0x10, 0x00,  // B G R A
  };
  const PreparedPicture p = DecodePicture(zero);
  ASSERT_EQ(p.frames.size(), 1u);
  EXPECT_EQ(At(p.frames[0].image, 0, 0), 0xFF102030u);
}

}  // namespace
