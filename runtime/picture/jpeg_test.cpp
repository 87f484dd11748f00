#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/picture/decoders.h"
#include "runtime/picture/picture_sink.h"
#include "runtime/picture/test_support.h"

namespace {

// The four quadrant centres of a decoded 32 x 32 quadrant picture.
void ExpectQuads(const Image& image, const Pixel want[4], int tolerance,
                 const char* what) {
  ASSERT_EQ(image.width, 32) << what;
  ASSERT_EQ(image.height, 32) << what;
  for (int i = 0; i < 4; ++i) {
    const int x = (i % 2) * 16 + 8, y = (i / 2) * 16 + 8;
    EXPECT_LE(ChannelDistance(At(image, x, y), 0xFF000000u | want[i]),
              tolerance)
        << what << " quadrant " << i << " got " << std::hex << At(image, x, y);
  }
}

TEST(Jpeg, FixturesFromOtherToolsShowTheirColours) {
  // Luma of the quadrant colours, as a greyscale JPEG holds them.
  const Pixel grey[4] = {0x4C4C4C, 0x969696, 0x1D1D1D, 0xE2E2E2};
  struct Case {
    const char* what;
    const char* file;
    const Pixel* want;
  } cases[] = {
      {"baseline (cjpeg)", "jpeg/cjpeg_baseline.jpg", kQuads},
      {"progressive (cjpeg)", "jpeg/cjpeg_progressive.jpg", kQuads},
      {"greyscale (cjpeg)", "jpeg/cjpeg_grey.jpg", grey},
      {"4:2:0 (ImageMagick)", "jpeg/magick_420.jpg", kQuads},
      {"4:4:4 (Pillow)", "jpeg/pil_444.jpg", kQuads},
      {"CMYK, Adobe inverted (Pillow)", "jpeg/pil_cmyk_adobe.jpg", kQuads},
      {"CMYK (ImageMagick)", "jpeg/magick_cmyk.jpg", kQuads},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(ReadFixture(c.file));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    ExpectQuads(p.frames[0].image, c.want, 12, c.what);
  }
}

TEST(Jpeg, CmykWithoutAdobeSegmentReadsStoredValuesAsInk) {
  // The Adobe fixture's samples with its APP14 segment cut out: what was
  // "no ink" (255) now reads as full ink, so every colour turns to its
  // complement's darkening: red's C=255 M=0 Y=0 K=255 ink gives black.
  const PreparedPicture p = DecodePicture(ReadFixture("jpeg/cmyk_plain.jpg"));
  ASSERT_EQ(p.frames.size(), 1u);
  const Pixel want[4] = {0x000000, 0x000000, 0x000000, 0x000000};
  ExpectQuads(p.frames[0].image, want, 12, "plain CMYK");
}

TEST(Jpeg, KindsMadeByLibjpegDecode) {
  Image quads = Solid(32, 32, 0);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      quads.pixels[y * 32 + x] = 0xFF000000u | kQuads[(y / 16) * 2 + x / 16];
    }
  }
  struct Case {
    const char* what;
    JpegKind kind;
  } cases[] = {
      {"RGB", JpegKind::kRgb},
      {"progressive", JpegKind::kProgressive},
      {"CMYK Adobe", JpegKind::kCmykAdobe},
      {"YCCK", JpegKind::kYcck},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(EncodeJpeg(quads, c.kind));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    ExpectQuads(p.frames[0].image, kQuads, 12, c.what);
  }
}

TEST(Jpeg, TruncatedShowsWhatWasRecovered) {
  // Red on top, then noise, so that most of the file is the noisy rows.
  Image image = Solid(64, 64, 0xFFFF0000u);
  std::uint32_t seed = 1;
  for (int i = 64 * 16; i < 64 * 64; ++i) {
    seed = seed * 1103515245u + 12345u;
    image.pixels[i] = 0xFF000000u | (seed >> 8);
  }
  const Bytes whole = EncodeJpeg(image, JpegKind::kRgb);
  const Bytes cut(whole.begin(), whole.begin() + whole.size() * 2 / 3);
  const PreparedPicture p = DecodePicture(cut);
  ASSERT_EQ(p.frames.size(), 1u);
  EXPECT_EQ(p.frames[0].image.height, 64);
  EXPECT_LE(ChannelDistance(At(p.frames[0].image, 8, 4), 0xFFFF0000u), 12);
  // Cut inside the header: nothing to show.
  EXPECT_TRUE(
      DecodePicture(Bytes(whole.begin(), whole.begin() + 40)).frames.empty());
}

TEST(Jpeg, DecodesAtTheSmallestScaleThatCoversTheBox) {
  struct Case {
    const char* what;
    int w, h;
    BoxSpec box;
    int want_w, want_h;
  } cases[] = {
      {"1/8 exactly covers",
       256,
       256,
       {32, 32, DisplayMode::CentreShrink},
       32,
       32},
      {"6/8 covers 189",
       300,
       300,
       {189, 189, DisplayMode::CentreShrink},
       225,
       225},
      {"wide: the shrunk height decides nothing",
       800,
       100,
       {100, 100, DisplayMode::CentreShrink},
       100,
       13},
      {"fits: natural size",
       100,
       80,
       {189, 189, DisplayMode::CentreShrink},
       100,
       80},
      {"top left keeps natural size",
       400,
       400,
       {189, 189, DisplayMode::TopLeft},
       400,
       400},
      {"stretch covers the box",
       400,
       100,
       {189, 189, DisplayMode::Stretch},
       400,
       100},
  };
  for (const Case& c : cases) {
    const Bytes jpeg = EncodeJpeg(Solid(c.w, c.h, 0xFF336699u), JpegKind::kRgb);
    PictureSink sink(c.box);
    ASSERT_TRUE(DecodeJpeg(ByteSpan(jpeg.data(), jpeg.size()), sink)) << c.what;
    EXPECT_EQ(sink.DeliveredWidth(), c.want_w) << c.what;
    EXPECT_EQ(sink.DeliveredHeight(), c.want_h) << c.what;
    const PreparedPicture p = sink.Take();
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    // The middle of the picture's place, or of the box where it is clipped.
    const Rect at = FitPicture(c.w, c.h, c.box);
    const int x = std::min(at.x + at.width / 2, c.box.width / 2);
    const int y = std::min(at.y + at.height / 2, c.box.height / 2);
    EXPECT_LE(ChannelDistance(At(p.frames[0].image, x, y), 0xFF336699u), 3)
        << c.what;
  }
}

}  // namespace
