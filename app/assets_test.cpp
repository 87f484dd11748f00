// The built-in artwork as the program carries it: sizes in bytes, formats,
// dimensions, and that the picture services read both.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "runtime/picture/picture.h"

namespace {

std::uint32_t Big32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
         (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint32_t Little16(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}
std::uint32_t Little32(const unsigned char* p) {
  return Little16(p) | (Little16(p + 2) << 16);
}

TEST(AssetsTest, FacePictureIsA266By255RgbPng) {
  ASSERT_EQ(FacePicture_size, 56868u);
  const unsigned char* p = FacePicture;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 8),
            "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(Big32(p + 8), 13u) << "IHDR length";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 12), 4), "IHDR");
  EXPECT_EQ(Big32(p + 16), 266u) << "width";
  EXPECT_EQ(Big32(p + 20), 255u) << "height";
  EXPECT_EQ(p[24], 8) << "bit depth";
  EXPECT_EQ(p[25], 2) << "colour type: RGB without alpha";
  EXPECT_EQ(p[28], 0) << "not interlaced";
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(p + FacePicture_size - 8), 4),
      "IEND");
  BoxSpec box{266, 255, DisplayMode::TopLeft, 0xFF000000, true};
  PreparedPicture face = PreparePicture(Bytes(p, p + FacePicture_size), box);
  ASSERT_EQ(face.frames.size(), 1u);
  const Image& img = face.frames[0].image;
  // Spot checks of the layout: grey outline, white strips, the glyphs.
  struct Case {
    const char* what;
    int x, y;
    bool white;
  } cases[] = {{"outline top-left", 0, 0, false},
               {"caption", 100, 3, true},
               {"minimize bar", 219, 18, false},
               {"beside the bar", 219, 21, true},
               {"close cross centre", 249, 15, false},
               {"art band", 5, 100, false},
               {"bottom strip", 100, 240, true},
               {"outline bottom row", 100, 254, false}};
  for (const Case& c : cases) {
    Pixel px = img.pixels[static_cast<std::size_t>(c.y * 266 + c.x)];
    EXPECT_EQ(px == 0xFFFFFFFF, c.white) << c.what;
  }
}

TEST(AssetsTest, WindowIconIsOne48By48ImageAt32Bits) {
  ASSERT_EQ(WindowIcon_size, 9662u);
  const unsigned char* p = WindowIcon;
  EXPECT_EQ(Little16(p), 0u) << "reserved";
  EXPECT_EQ(Little16(p + 2), 1u) << "type: icon";
  EXPECT_EQ(Little16(p + 4), 1u) << "one image";
  const unsigned char* e = p + 6;
  EXPECT_EQ(e[0], 48) << "width";
  EXPECT_EQ(e[1], 48) << "height";
  EXPECT_EQ(Little16(e + 4), 1u) << "planes";
  EXPECT_EQ(Little16(e + 6), 32u) << "bits per pixel";
  EXPECT_EQ(Little32(e + 8), 9640u) << "image bytes";
  EXPECT_EQ(Little32(e + 12), 22u) << "image offset";
  const unsigned char* bih = p + 22;
  EXPECT_EQ(Little32(bih), 40u) << "BITMAPINFOHEADER";
  EXPECT_EQ(Little32(bih + 4), 48u);
  EXPECT_EQ(Little32(bih + 8), 96u) << "height counts the mask too";
  EXPECT_EQ(Little16(bih + 14), 32u);
  BoxSpec box{48, 48, DisplayMode::TopLeft, 0xFF000000, true};
  PreparedPicture icon = PreparePicture(Bytes(p, p + WindowIcon_size), box);
  ASSERT_EQ(icon.frames.size(), 1u);
  const Image& img = icon.frames[0].image;
  EXPECT_EQ(img.pixels[0], 0xFF000000u)
      << "transparent corner shows the background";
  EXPECT_NE(img.pixels[24 * 48 + 24], 0xFF000000u) << "opaque centre";
}

}  // namespace
