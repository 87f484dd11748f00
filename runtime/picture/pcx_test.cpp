#include <gtest/gtest.h>

#include "runtime/picture/test_support.h"

namespace {

TEST(Pcx, FilesFromOtherToolsShowTheProbe) {
  struct Case {
    const char* what;
    const char* file;
  } cases[] = {
      {"24 bit planes (Pillow)", "pcx/pil_rgb.pcx"},
      {"24 bit planes (ImageMagick)", "pcx/magick_rgb.pcx"},
      {"24 bit planes (netpbm)", "pcx/netpbm_rgb.pcx"},
      {"256-colour palette (Pillow)", "pcx/pil_palette.pcx"},
      {"256-colour palette (ImageMagick)", "pcx/magick_palette.pcx"},
      {"256-colour palette (netpbm)", "pcx/netpbm_palette.pcx"},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(ReadFixture(c.file));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    ExpectProbe(p.frames[0].image, false, 0, c.what);
  }
}

// A version 3 header: 1 bit per plane, `planes` planes, 8 x 2.
Bytes Version3(int planes, std::initializer_list<std::uint8_t> rows) {
  Bytes b(128, 0);
  b[0] = 0x0A;  // manufacturer
  b[1] = 3;     // version 3: no palette of its own
  b[2] = 1;     // run-length encoded
  b[3] = 1;     // bits per plane
  b[8] = 7;     // x max (x min 0)
  b[10] = 1;    // y max (y min 0)
  b[65] = static_cast<std::uint8_t>(planes);
  b[66] = 1;  // bytes per plane line
  return Join(b, rows);
}

TEST(Pcx, Version3OneBitForms) {
  struct Case {
    const char* what;
    Bytes data;
    bool shown;
    Pixel first[2];   // pixels 0 and 7 of row 0
    Pixel second[2];  // of row 1
  } cases[] = {
      {"black and white",
       Version3(1, {0x80, 0x01}),
       true,
       {0xFFFFFFFFu, 0xFF000000u},
       {0xFF000000u, 0xFFFFFFFFu}},
      {"a run across both rows",
       Version3(1, {0xC2, 0xFF}),
       true,
       {0xFFFFFFFFu, 0xFFFFFFFFu},
       {0xFFFFFFFFu, 0xFFFFFFFFu}},
      {"four planes: the default 16 colours",
       Version3(4, {0x80, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}),
       true,
       {0xFF5555FFu, 0xFF000000u},
       {0xFFFFFFFFu, 0xFFFFFFFFu}},
      {"truncated", Version3(1, {0x80}), false, {}, {}},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(c.data);
    ASSERT_EQ(p.frames.size(), c.shown ? 1u : 0u) << c.what;
    if (!c.shown) continue;
    const Image& image = p.frames[0].image;
    EXPECT_EQ(At(image, 0, 0), c.first[0]) << c.what;
    EXPECT_EQ(At(image, 7, 0), c.first[1]) << c.what;
    EXPECT_EQ(At(image, 0, 1), c.second[0]) << c.what;
    EXPECT_EQ(At(image, 7, 1), c.second[1]) << c.what;
  }
}

TEST(Pcx, EightBitsWithoutPaletteIsGrey) {
  // Pillow's grey file carries a grey palette; without it, grey as well.
  const Bytes with = ReadFixture("pcx/pil_grey.pcx");
  ASSERT_GT(with.size(), 769u);
  const Bytes without(with.begin(), with.end() - 769);
  for (const Bytes* data : {&with, &without}) {
    const PreparedPicture p = DecodePicture(*data);
    ASSERT_EQ(p.frames.size(), 1u) << data->size();
    EXPECT_EQ(At(p.frames[0].image, 1, 0), 0xFF555555u) << data->size();
    EXPECT_EQ(At(p.frames[0].image, 2, 0), 0xFFAAAAAAu) << data->size();
  }
}

}  // namespace
