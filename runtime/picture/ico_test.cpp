#include <gtest/gtest.h>

#include "runtime/picture/test_support.h"

namespace {

// The icon fixtures hold the probe (with its alphas) in the top left corner
// of an 8 x 8 blue square, some scaled up by whole steps.
void ExpectIcon(const Image& image, int size, bool alpha, const char* what) {
  ASSERT_EQ(image.width, size) << what;
  ASSERT_EQ(image.height, size) << what;
  const int step = size / 8;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const Pixel got = At(image, x * step, y * step);
      const std::uint32_t a = alpha ? kProbeAlpha[y][x] : 255;
      if (a == 0) {
        EXPECT_EQ(got >> 24, 0u) << what << " at " << x << "," << y;
      } else {
        EXPECT_EQ(got, a << 24 | kProbe[y][x])
            << what << " at " << x << "," << y << std::hex << " got " << got;
      }
    }
  }
  EXPECT_EQ(At(image, size - 1, size - 1), 0xFF0000FFu) << what;
}

TEST(Ico, LargestEntryShowsWithItsAlpha) {
  struct Case {
    const char* what;
    const char* file;
    int size;
  } cases[] = {
      {"PNG entry (Pillow)", "ico/pil_png.ico", 8},
      {"32-bit entries, largest of two (ImageMagick)", "ico/magick_sizes.ico",
       32},
      {"cursor", "ico/cursor.cur", 8},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(ReadFixture(c.file));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    ExpectIcon(p.frames[0].image, c.size, true, c.what);
  }
}

TEST(Ico, PaletteEntryUsesItsAndMask) {
  const PreparedPicture p = DecodePicture(ReadFixture("ico/magick_4bit.ico"));
  ASSERT_EQ(p.frames.size(), 1u);
  const Image& image = p.frames[0].image;
  // Alpha 0 is masked out; full alpha shows its colour.
  EXPECT_EQ(At(image, 2, 0) >> 24, 0u);
  EXPECT_EQ(At(image, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(At(image, 7, 7), 0xFF0000FFu);
}

// An icon directory of `count` entries, each a copy of one 2 x 1, 24-bit
// bitmap entry, with entry i's offset moved by shift[i].
Bytes Icon(std::initializer_list<std::int64_t> shifts, int width) {
  const Bytes image = {
      40,   0,   0, 0,   static_cast<std::uint8_t>(width),
      0,    0,   0,  // size, width
      2,    0,   0, 0,   1,
      0,    24,  0,  // height x 2, planes, bits
      0,    0,   0, 0,   0,
      0,    0,   0, 0,   0,
      0,    0,   0, 0,   0,
      0,    0,   0, 0,   0,
      0,    0,   0, 0,   0,
      0,    255, 0, 255, 0,
      0,    0,          // red, green, padding
      0x40, 0,   0, 0,  // AND mask: second pixel transparent
  };
  Bytes b = {0, 0, 1, 0, static_cast<std::uint8_t>(shifts.size()), 0};
  const std::size_t first = 6 + 16 * shifts.size();
  std::size_t i = 0;
  for (std::int64_t shift : shifts) {
    const std::uint32_t offset =
        static_cast<std::uint32_t>(first + i * image.size() + shift);
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());
    const Bytes entry = {static_cast<std::uint8_t>(width),
                         1,
                         0,
                         0,
                         1,
                         0,
                         24,
                         0,
                         static_cast<std::uint8_t>(size),
                         0,
                         0,
                         0,
                         static_cast<std::uint8_t>(offset),
                         static_cast<std::uint8_t>(offset >> 8),
                         static_cast<std::uint8_t>(offset >> 16),
                         static_cast<std::uint8_t>(offset >> 24)};
    b.insert(b.end(), entry.begin(), entry.end());
    ++i;
  }
  for (i = 0; i < shifts.size(); ++i)
    b.insert(b.end(), image.begin(), image.end());
  return b;
}

TEST(Ico, EntriesOutsideTheFileAreSkipped) {
  struct Case {
    const char* what;
    Bytes data;
    bool shown;
  } cases[] = {
      {"one good entry", Icon({0}, 2), true},
      {"bad entry then good", Icon({1 << 20, 0}, 2), true},
      {"only entry points outside", Icon({1 << 20}, 2), false},
      {"offset wraps round", Icon({-100}, 2), false},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(c.data);
    ASSERT_EQ(p.frames.size(), c.shown ? 1u : 0u) << c.what;
    if (!c.shown) continue;
    EXPECT_EQ(At(p.frames[0].image, 0, 0), 0xFFFF0000u) << c.what;
    EXPECT_EQ(At(p.frames[0].image, 1, 0) >> 24, 0u) << c.what;
  }
}

}  // namespace
