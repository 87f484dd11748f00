#include <gtest/gtest.h>

#include "runtime/window/window_model.h"

namespace {

// A window 60 x 40 whose background box "back" is wider than the window,
// with a box "inner" on it and a label "hot" above "inner".
const ControlDescription kControls[] = {
    {.name = "hot", .parent = "back", .rect = {0, 0, 60, 40}},
    {.name = "inner",
     .kind = ControlKind::PicBox,
     .parent = "back",
     .rect = {10, 10, 20, 20},
     .background = 0xFF0000FF},
    {.name = "back",
     .kind = ControlKind::PicBox,
     .parent = "W",
     .rect = {0, 0, 70, 41},
     .background = 0xFF00FF00},
};

WindowDescription Description() {
  WindowDescription d;
  d.name = "W";
  d.width = 60;
  d.height = 40;
  d.background = 0xFF123456;
  d.controls = kControls;
  d.control_count = 3;
  return d;
}

Pixel At(const Image& img, int x, int y) {
  return img.pixels.at(static_cast<std::size_t>(y * img.width + x));
}

TEST(ComposeTest, PaintsBottomUpClippedToTheWindow) {
  const WindowDescription d = Description();
  WindowModel m = *BuildWindow(d, 100, 100);
  Image canvas;
  ComposeWindow(m, canvas);
  ASSERT_EQ(canvas.width, 60);
  ASSERT_EQ(canvas.height, 40);
  struct Case {
    const char* what;
    int x, y;
    Pixel expect;
  } cases[] = {
      {"back under the label", 0, 0, 0xFF00FF00},
      {"inner above back, label paints nothing", 15, 15, 0xFF0000FF},
      {"inner's last pixel", 29, 29, 0xFF0000FF},
      {"right of inner", 30, 29, 0xFF00FF00},
      {"window's last pixel, back clipped", 59, 39, 0xFF00FF00},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(At(canvas, c.x, c.y), c.expect) << c.what;
  }
  m.controls[1].visible = false;
  ComposeWindow(m, canvas);
  EXPECT_EQ(At(canvas, 15, 15), 0xFF00FF00u) << "hidden inner";
  m.controls[2].visible = false;
  ComposeWindow(m, canvas);
  EXPECT_EQ(At(canvas, 15, 15), 0xFF123456u) << "window background";
}

TEST(ComposeTest, ShowsTheFrameThatIsShowing) {
  const WindowDescription d = Description();
  WindowModel m = *BuildWindow(d, 100, 100);
  ControlState& inner = m.controls[1];
  for (Pixel p : {0xFFAA0000u, 0xFF00AA00u}) {
    inner.picture.frames.push_back(
        PreparedFrame{Image{20, 20, std::vector<Pixel>(400, p)}, 100});
  }
  inner.frame = 1;
  Image canvas;
  ComposeWindow(m, canvas);
  EXPECT_EQ(At(canvas, 10, 10), 0xFF00AA00u);
  EXPECT_EQ(At(canvas, 29, 29), 0xFF00AA00u);
}

}  // namespace
