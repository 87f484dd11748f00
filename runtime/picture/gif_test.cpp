#include <gtest/gtest.h>

#include "runtime/picture/test_support.h"

namespace {

TEST(Gif, StillFilesShowTheProbe) {
  struct Case {
    const char* what;
    const char* file;
  } cases[] = {
      {"GIF89a (Pillow)", "gif/pil_still.gif"},
      {"interlaced GIF87a (netpbm)", "gif/netpbm_interlaced.gif"},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(ReadFixture(c.file));
    ASSERT_EQ(p.frames.size(), 1u) << c.what;
    ExpectProbe(p.frames[0].image, false, 0, c.what);
  }
}

TEST(Gif, TransparentIndexShowsNothing) {
  const PreparedPicture p =
      DecodePicture(ReadFixture("gif/magick_transparent.gif"));
  ASSERT_EQ(p.frames.size(), 1u);
  EXPECT_EQ(At(p.frames[0].image, 2, 0) >> 24, 0u);     // alpha 0
  EXPECT_EQ(At(p.frames[0].image, 0, 0), 0xFFFF0000u);  // alpha 255
}

TEST(Gif, FramesDisposalDelaysAndLoops) {
  constexpr Pixel r = 0xFFFF0000u, g = 0xFF00FF00u, b = 0xFF0000FFu, t = 0;
  // Pillow's frames: red; a green patch, then cleared to nothing; a blue
  // pixel over red where the patch was (as ImageMagick's coalesce shows).
  const Pixel want[3][3][4] = {
      {{r, r, r, r}, {r, r, r, r}, {r, r, r, r}},
      {{r, r, r, r}, {r, g, g, r}, {r, r, r, r}},
      {{t, t, t, t}, {t, r, r, r}, {t, r, r, b}},
  };
  const PreparedPicture p = DecodePicture(ReadFixture("gif/pil_anim.gif"));
  ASSERT_EQ(p.frames.size(), 3u);
  const std::int32_t delays[3] = {100, 50, 200};  // 0 ms shows as 100
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(p.frames[f].delay_ms, delays[f]) << "frame " << f;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        const Pixel got = At(p.frames[f].image, x, y);
        if (want[f][y][x] == t) {
          EXPECT_EQ(got >> 24, 0u) << "frame " << f << " at " << x << "," << y;
        } else {
          EXPECT_EQ(got, want[f][y][x])
              << "frame " << f << " at " << x << "," << y;
        }
      }
    }
  }
  EXPECT_EQ(p.loop_count, 3);  // repeated twice after the first play
}

TEST(Gif, OptimisedFramesComposeAndLoopForever) {
  // ImageMagick crops each frame to what changed; the canvas fills in.
  const PreparedPicture p = DecodePicture(ReadFixture("gif/magick_anim.gif"));
  ASSERT_GE(p.frames.size(), 2u);
  EXPECT_EQ(p.loop_count, 0);
  EXPECT_EQ(p.frames[0].delay_ms, 50);
  EXPECT_EQ(At(p.frames[1].image, 1, 1), 0xFF00FF00u);
  EXPECT_EQ(At(p.frames[1].image, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(At(p.frames.back().image, 3, 2), 0xFF0000FFu);
}

// A 2 x 2 screen, global map of black and white, then the given frames.
Bytes Gif(std::initializer_list<std::uint8_t> body) {
  Bytes b = {'G',  'I', 'F', '8', '9', 'a', 2, 0, 2, 0,  // screen 2 x 2
             0x80, 0,   0,                               // 2-colour map
             0,    0,   0,   255, 255, 255};
  return Join(b, body);
}

// A 1 x 1 image descriptor at x, y, then LZW data for white (code size 2:
// clear 4, "1", end 5).
#define FRAME(x, y) 0x2C, x, 0, y, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0
// The same, 2 x 1 (codes clear, 1, 1, end).
#define WIDE_FRAME(x, y) 0x2C, x, 0, y, 0, 2, 0, 1, 0, 0, 2, 2, 0x4C, 0x0A, 0

TEST(Gif, FramesAgainstTheScreen) {
  struct Case {
    const char* what;
    Bytes data;
    std::size_t frames;
  } cases[] = {
      {"inside", Gif({FRAME(0, 0), 0x3B}), 1},
      {"2 x 1 inside", Gif({WIDE_FRAME(0, 0), 0x3B}), 1},
      {"partly outside: clipped", Gif({WIDE_FRAME(1, 1), 0x3B}), 1},
      {"wholly outside", Gif({FRAME(5, 5), 0x3B}), 0},
      {"no trailer", Gif({FRAME(0, 0)}), 1},
      {"second frame cut short: the first plays",
       Gif({FRAME(0, 0), 0x2C, 0, 0}), 1},
  };
  for (const Case& c : cases) {
    const PreparedPicture p = DecodePicture(c.data);
    EXPECT_EQ(p.frames.size(), c.frames) << c.what;
  }
}

}  // namespace

namespace {

TEST(Gif, ShortDelaysShowAsOneTenthOfASecond) {
  struct Case {
    const char* what;
    std::uint8_t centiseconds;
    std::int32_t want_ms;
  } cases[] = {
      {"none", 0, 100},
      {"10 ms", 1, 100},
      {"20 ms", 2, 20},
      {"a second", 100, 1000},
  };
  for (const Case& c : cases) {
    // A graphic control block (no disposal, no transparency) per frame.
    const PreparedPicture p = DecodePicture(
        Gif({0x21, 0xF9, 4, 0, c.centiseconds, 0, 0, 0, FRAME(0, 0), 0x21, 0xF9,
             4, 0, c.centiseconds, 0, 0, 0, FRAME(1, 1), 0x3B}));
    ASSERT_EQ(p.frames.size(), 2u) << c.what;
    EXPECT_EQ(p.frames[0].delay_ms, c.want_ms) << c.what;
    EXPECT_EQ(p.frames[1].delay_ms, c.want_ms) << c.what;
    EXPECT_EQ(p.loop_count, 1) << c.what;  // no loop extension: plays once
  }
}

}  // namespace
