#include "runtime/picture/picture.h"

#include <gtest/gtest.h>

#include "runtime/picture/decoders.h"
#include "runtime/picture/picture_sink.h"
#include "runtime/picture/test_support.h"

namespace {

constexpr BoxSpec kFrameBox{189, 189, DisplayMode::CentreShrink, kButtonFace,
                            true};

TEST(FitPicture, CentreShrinkPlacesAndNeverEnlarges) {
  struct Case {
    const char* what;
    int pw, ph;
    Rect want;
  } cases[] = {
      {"fits: centred at natural size", 100, 50, {44, 69, 100, 50}},
      {"odd leftover truncates", 188, 188, {0, 0, 188, 188}},
      {"exactly the box", 189, 189, {0, 0, 189, 189}},
      {"wider: 378 x 189", 378, 189, {0, 47, 189, 94}},
      {"taller", 100, 400, {71, 0, 47, 189}},
      {"both larger, width decides", 1000, 500, {0, 47, 189, 94}},
      {"both larger, height decides", 500, 1000, {47, 0, 94, 189}},
      {"1 x 1000 keeps one column", 1, 1000, {94, 0, 1, 189}},
      {"1000 x 1 keeps one row", 1000, 1, {0, 94, 189, 1}},
      {"tiny", 1, 1, {94, 94, 1, 1}},
      {"empty picture", 0, 10, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Rect r = FitPicture(c.pw, c.ph, kFrameBox);
    EXPECT_EQ(r.x, c.want.x) << c.what;
    EXPECT_EQ(r.y, c.want.y) << c.what;
    EXPECT_EQ(r.width, c.want.width) << c.what;
    EXPECT_EQ(r.height, c.want.height) << c.what;
  }
}

TEST(FitPicture, OtherModes) {
  BoxSpec box = kFrameBox;
  box.mode = DisplayMode::TopLeft;
  Rect r = FitPicture(400, 10, box);
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.width, 400);  // natural size, clipped when painted
  box.mode = DisplayMode::Stretch;
  r = FitPicture(10, 400, box);
  EXPECT_EQ(r.width, 189);
  EXPECT_EQ(r.height, 189);
}

// Feeds `image` to a sink for `box` row by row and returns the one frame.
Image Prepare(const Image& image, const BoxSpec& box) {
  PictureSink sink(box);
  EXPECT_TRUE(
      sink.BeginFrame(image.width, image.height, image.width, image.height));
  for (int y = 0; y < image.height; ++y) {
    sink.PutRow(&image.pixels[static_cast<std::size_t>(y) * image.width]);
  }
  sink.EndFrame();
  PreparedPicture p = sink.Take();
  return p.frames.empty() ? Image{} : p.frames[0].image;
}

Image Checkerboard(int w, int h) {
  Image image = Solid(w, h, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      image.pixels[y * w + x] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    }
  }
  return image;
}

TEST(Scaling, AreaAverageOfACheckerboardIsGrey) {
  const Image out = Prepare(Checkerboard(378, 378), kFrameBox);
  ASSERT_EQ(out.width, 189);
  for (int y = 0; y < 189; y += 17) {
    for (int x = 0; x < 189; x += 13) {
      EXPECT_LE(ChannelDistance(At(out, x, y), 0xFF808080u), 1)
          << x << "," << y;
    }
  }
  // A ratio that is no whole number averages too.
  const Image odd = Prepare(Checkerboard(1000, 700), kFrameBox);
  EXPECT_LE(ChannelDistance(At(odd, 90, 90), 0xFF808080u), 3);
}

TEST(Scaling, NearestPixelKeepsPureColours) {
  BoxSpec box = kFrameBox;
  box.halftone = false;
  const Image out = Prepare(Checkerboard(378, 378), box);
  for (int y = 0; y < 189; y += 7) {
    for (int x = 0; x < 189; x += 5) {
      const Pixel p = At(out, x, y);
      EXPECT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << x << "," << y;
    }
  }
}

TEST(Scaling, PlacesThePictureAndFillsTheRest) {
  // 378 x 189 of red shows as 189 x 94 at 0, 47 on the button face.
  const Image out = Prepare(Solid(378, 189, 0xFFFF0000u), kFrameBox);
  ASSERT_EQ(out.width, 189);
  ASSERT_EQ(out.height, 189);
  EXPECT_EQ(At(out, 0, 46), 0xFFF0F0F0u);
  EXPECT_EQ(At(out, 0, 47), 0xFFFF0000u);
  EXPECT_EQ(At(out, 188, 140), 0xFFFF0000u);
  EXPECT_EQ(At(out, 188, 141), 0xFFF0F0F0u);
}

TEST(Scaling, SmoothGradientsStayMonotonicAndExactAtTheEnds) {
  Image ramp = Solid(1000, 10, 0);
  for (int x = 0; x < 1000; ++x) {
    for (int y = 0; y < 10; ++y) {
      ramp.pixels[y * 1000 + x] = 0xFF000000u | (x * 255 / 999) << 8;
    }
  }
  const Image out = Prepare(ramp, BoxSpec{100, 1, DisplayMode::Stretch});
  for (int x = 1; x < 100; ++x) {
    EXPECT_GE(At(out, x, 0), At(out, x - 1, 0)) << x;
  }
  EXPECT_LE((At(out, 0, 0) >> 8) & 0xFF, 2u);
  EXPECT_GE((At(out, 99, 0) >> 8) & 0xFF, 253u);
}

TEST(Scaling, StretchEnlargesAndTopLeftClips) {
  Image two = Solid(2, 1, 0xFF0000FFu);
  two.pixels[0] = 0xFFFF0000u;
  const Image wide = Prepare(two, BoxSpec{10, 4, DisplayMode::Stretch});
  EXPECT_EQ(At(wide, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(At(wide, 4, 3), 0xFFFF0000u);
  EXPECT_EQ(At(wide, 5, 0), 0xFF0000FFu);
  EXPECT_EQ(At(wide, 9, 3), 0xFF0000FFu);

  const Image big = Solid(300, 300, 0xFF00FF00u);
  const Image clipped = Prepare(big, BoxSpec{189, 189, DisplayMode::TopLeft});
  EXPECT_EQ(clipped.width, 189);
  EXPECT_EQ(At(clipped, 188, 188), 0xFF00FF00u);
}

TEST(Scaling, RefusesSizesOutsideTheLimits) {
  PictureSink sink(kFrameBox);
  EXPECT_FALSE(
      sink.BeginFrame(kMaxPictureSide + 1, 10, kMaxPictureSide + 1, 10));
  EXPECT_FALSE(sink.BeginFrame(0, 10, 0, 10));
  EXPECT_FALSE(sink.BeginFrame(10, 10, 20, 10));  // delivered above natural
  PictureSink huge_box(BoxSpec{kMaxPictureSide + 1, 10});
  EXPECT_FALSE(huge_box.BeginFrame(10, 10, 10, 10));
  PictureSink ok(kFrameBox);
  EXPECT_TRUE(ok.BeginFrame(kMaxPictureSide, kMaxPictureSide, 1, 1));
  // Frames past what one picture may hold are refused.
  PictureSink many(BoxSpec{4096, 4096});
  EXPECT_TRUE(many.BeginFrame(1, 1, 1, 1));
  EXPECT_TRUE(many.BeginFrame(1, 1, 1, 1));
  EXPECT_FALSE(many.BeginFrame(1, 1, 1, 1));
}

TEST(PaintPicBox, CopiesThePreparedFrameInsideTheClip) {
  const BoxSpec box{4, 4, DisplayMode::TopLeft, 0xFF112233u};
  PreparedPicture picture;
  picture.frames.push_back({Solid(4, 4, 0xFFABCDEFu), 0});
  struct Case {
    const char* what;
    const PreparedPicture* picture;
    Rect clip;
    int x, y;
    int painted;   // pixels changed
    Pixel colour;  // what they became
  } cases[] = {
      {"whole box", &picture, {0, 0, 10, 10}, 3, 3, 16, 0xFFABCDEFu},
      {"clipped to two columns", &picture, {0, 0, 5, 10}, 3, 3, 8, 0xFFABCDEFu},
      {"off the canvas", &picture, {0, 0, 10, 10}, 8, 8, 4, 0xFFABCDEFu},
      {"negative origin", &picture, {0, 0, 10, 10}, -2, -2, 4, 0xFFABCDEFu},
      {"empty clip", &picture, {0, 0, 0, 0}, 3, 3, 0, 0},
      {"no picture: the background",
       nullptr,
       {0, 0, 10, 10},
       3,
       3,
       16,
       0xFF112233u},
  };
  const PreparedPicture empty;
  for (const Case& c : cases) {
    Image canvas = Solid(10, 10, 0xFF000000u);
    PaintPicBox(canvas, c.clip, c.x, c.y, box, c.picture ? *c.picture : empty,
                0);
    int painted = 0;
    for (Pixel p : canvas.pixels) {
      if (p != 0xFF000000u) {
        ++painted;
        EXPECT_EQ(p, c.colour) << c.what;
      }
    }
    EXPECT_EQ(painted, c.painted) << c.what;
  }
}

TEST(PaintPicBox, FramesPlayInTurn) {
  const BoxSpec box{2, 2};
  PreparedPicture picture;
  picture.frames.push_back({Solid(2, 2, 0xFF0000FFu), 100});
  picture.frames.push_back({Solid(2, 2, 0xFF00FF00u), 100});
  Image canvas = Solid(2, 2, 0);
  PaintPicBox(canvas, {0, 0, 2, 2}, 0, 0, box, picture, 1);
  EXPECT_EQ(At(canvas, 1, 1), 0xFF00FF00u);
  PaintPicBox(canvas, {0, 0, 2, 2}, 0, 0, box, picture, 2);  // wraps
  EXPECT_EQ(At(canvas, 1, 1), 0xFF0000FFu);
}

TEST(Signatures, FirstEightBytesChooseTheDecoder) {
  struct Case {
    const char* what;
    Bytes head;
    const char* want;  // null: no decoder
  } cases[] = {
      {"BMP", {'B', 'M', 0, 0, 0, 0, 0, 0}, "bmp"},
      {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0}, "jpeg"},
      {"PNG", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}, "png"},
      {"ICO", {0, 0, 1, 0, 1, 0, 0, 0}, "ico"},
      {"ICO without images", {0, 0, 1, 0, 0, 0, 0, 0}, nullptr},
      {"CUR", {0, 0, 2, 0, 2, 0, 0, 0}, "cur"},
      {"GIF87a", {'G', 'I', 'F', '8', '7', 'a', 0, 0}, "gif"},
      {"GIF89a", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, "gif"},
      {"GIF88a", {'G', 'I', 'F', '8', '8', 'a', 0, 0}, nullptr},
      {"PCX 8 bit", {0x0A, 5, 1, 8, 0, 0, 0, 0}, "pcx"},
      {"PCX 8 bit, version 0", {0x0A, 0, 1, 8, 0, 0, 0, 0}, "pcx"},
      {"PCX version 6", {0x0A, 6, 1, 8, 0, 0, 0, 0}, nullptr},
      {"PCX 1 bit, version 3", {0x0A, 3, 1, 1, 0, 0, 0, 0}, "pcx"},
      {"PCX 1 bit, version 5", {0x0A, 5, 1, 1, 0, 0, 0, 0}, nullptr},
      {"PCX not encoded", {0x0A, 5, 0, 8, 0, 0, 0, 0}, nullptr},
      {"seven bytes of PNG", {0x89, 'P', 'N', 'G', 13, 10, 26}, nullptr},
      {"text", {'<', 'h', 't', 'm', 'l', '>', 0, 0}, nullptr},
  };
  for (const Case& c : cases) {
    const Decoder* d = FindDecoder(ByteSpan(c.head.data(), c.head.size()));
    if (c.want == nullptr) {
      EXPECT_EQ(d, nullptr) << c.what;
    } else {
      ASSERT_NE(d, nullptr) << c.what;
      EXPECT_STREQ(d->name, c.want) << c.what;
    }
  }
}

TEST(Malformed, EveryFileGivesNoPicture) {
  const std::vector<std::string> files = FixturesIn("malformed");
  EXPECT_FALSE(files.empty());
  for (const std::string& file : files) {
    const Bytes data = ReadFixture(file);
    EXPECT_TRUE(PreparePicture(data, kFrameBox).frames.empty()) << file;
    EXPECT_TRUE(DecodePicture(data).frames.empty()) << file;
  }
}

TEST(Malformed, EmptyAndShortGiveNoPicture) {
  EXPECT_TRUE(PreparePicture(Bytes{}, kFrameBox).frames.empty());
  EXPECT_TRUE(PreparePicture(Bytes{0xFF, 0xD8}, kFrameBox).frames.empty());
}

}  // namespace
