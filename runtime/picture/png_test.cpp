#include <gtest/gtest.h>

#include "runtime/picture/test_support.h"

namespace {

enum class Expect { kProbe, kProbeAlpha, kGreyRamp, kGreyRamp1Bit };

// What pixel (x, y) of each fixture holds, straight alpha, 0xAARRGGBB.
Pixel Expected(Expect e, int x, int y) {
  const std::uint32_t ramp[4] = {0, 85, 170, 255};
  switch (e) {
    case Expect::kProbe:
      return 0xFF000000u | kProbe[y][x];
    case Expect::kProbeAlpha:
      return std::uint32_t{kProbeAlpha[y][x]} << 24 | kProbe[y][x];
    case Expect::kGreyRamp:
    case Expect::kGreyRamp1Bit: {
      std::uint32_t v = ramp[(x + y) % 4];
      if (e == Expect::kGreyRamp1Bit) v = v >= 128 ? 255 : 0;
      return 0xFF000000u | v << 16 | v << 8 | v;
    }
  }
  return 0;
}

TEST(Png, EveryColourTypeAndDepthDecodesToTheSamePixels) {
  struct Case {
    const char* what;
    const char* file;
    Expect expect;
  } cases[] = {
      {"RGB 8 (Pillow)", "png/pil_rgb8.png", Expect::kProbe},
      {"RGBA 8 (Pillow)", "png/pil_rgba8.png", Expect::kProbeAlpha},
      {"palette with tRNS", "png/pil_palette_trns.png", Expect::kProbeAlpha},
      {"palette 4 bit", "png/pil_palette4.png", Expect::kProbe},
      {"RGB 16 (ImageMagick)", "png/magick_rgb16.png", Expect::kProbe},
      {"RGBA 16 (ImageMagick)", "png/magick_rgba16.png", Expect::kProbeAlpha},
      {"interlaced RGBA (ImageMagick)", "png/magick_interlaced.png",
       Expect::kProbeAlpha},
      {"interlaced RGB (netpbm)", "png/netpbm_interlaced.png", Expect::kProbe},
      {"grey 1 bit", "png/netpbm_grey1.png", Expect::kGreyRamp1Bit},
      {"grey 2 bit", "png/netpbm_grey2.png", Expect::kGreyRamp},
      {"grey 4 bit", "png/netpbm_grey4.png", Expect::kGreyRamp},
      {"grey 8 bit", "png/netpbm_grey8.png", Expect::kGreyRamp},
      {"grey 16 bit", "png/netpbm_grey16.png", Expect::kGreyRamp},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(ReadFixture(c.file));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    const Image& image = p.frames[0].image;
    ASSERT_EQ(image.width, 4) << c.what;
    ASSERT_EQ(image.height, 3) << c.what;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(At(image, x, y), Expected(c.expect, x, y))
            << c.what << " at " << x << "," << y;
      }
    }
  }
}

TEST(Png, GreyWithAlphaKeepsTheAlpha) {
  const PreparedPicture p =
      DecodePicture(ReadFixture("png/pil_grey_alpha.png"));
  ASSERT_EQ(p.frames.size(), 1u);
  // Pillow's grey of pure red is 76; alpha stays as drawn.
  EXPECT_EQ(At(p.frames[0].image, 0, 0), 0xFF4C4C4Cu);
  EXPECT_EQ(At(p.frames[0].image, 1, 0) >> 24, 128u);
  EXPECT_EQ(At(p.frames[0].image, 2, 0) >> 24, 0u);
}

TEST(Png, PartialAlphaBlendsOverTheBackground) {
  BoxSpec box{4, 3, DisplayMode::TopLeft, kButtonFace, true};
  const PreparedPicture p =
      PreparePicture(ReadFixture("png/pil_rgba8.png"), box);
  ASSERT_EQ(p.frames.size(), 1u);
  const Image& image = p.frames[0].image;
  // Green at alpha 128 over 240 grey: (c * a + 240 * (255 - a)) / 255.
  EXPECT_EQ(At(image, 1, 0), 0xFF78F878u);
  EXPECT_EQ(At(image, 2, 0), 0xFFF0F0F0u);  // alpha 0: background only
  EXPECT_EQ(At(image, 0, 0), 0xFFFF0000u);  // alpha 255: the colour
  // Another background shows through as well.
  box.background = 0xFF000000u;
  const PreparedPicture dark =
      PreparePicture(ReadFixture("png/pil_rgba8.png"), box);
  EXPECT_EQ(At(dark.frames[0].image, 1, 0), 0xFF008000u);
}

TEST(Png, LargerPicturesMadeHereRoundTrip) {
  // Wide enough for several filter types and IDAT chunks; interlaced too.
  Image image = Solid(300, 200, 0);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) {
      image.pixels[y * 300 + x] =
          0xFF000000u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x ^ y) & 0xFF);
    }
  }
  for (bool interlaced : {false, true}) {
    const PreparedPicture p = DecodePicture(EncodePng(image, interlaced));
    ASSERT_EQ(p.frames.size(), 1u) << interlaced;
    EXPECT_EQ(p.frames[0].image.pixels, image.pixels) << interlaced;
  }
}

TEST(Png, TruncatedGivesNoPicture) {
  const Bytes whole = ReadFixture("png/pil_rgb8.png");
  for (std::size_t cut :
       {std::size_t{8}, std::size_t{20}, std::size_t{40}, whole.size() - 20}) {
    EXPECT_TRUE(
        DecodePicture(Bytes(whole.begin(), whole.begin() + cut)).frames.empty())
        << cut;
  }
}

}  // namespace
