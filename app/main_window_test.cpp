#include "app/main_window.h"

#include <gtest/gtest.h>

#include "app/handlers.h"
#include "runtime/window/window_model.h"

namespace {

WindowModel Build() {
  auto m = BuildWindow(MainWindow, 1920, 1080);
  EXPECT_TRUE(m.has_value());
  return *m;
}

std::int32_t Id(const WindowModel& m, const char* name) {
  std::int32_t c = FindControl(m, name);
  EXPECT_GE(c, 0) << name;
  return c;
}

TEST(MainWindowTest, ComesUpCentredFramelessWithItsSettings) {
  WindowModel m = Build();
  EXPECT_EQ(m.x, 827);
  EXPECT_EQ(m.y, 412);
  EXPECT_EQ(m.width, 266);
  EXPECT_EQ(m.height, 255);
  EXPECT_STREQ(MainWindow.title, "Yarrowlit-Kestrune2019");
  EXPECT_FALSE(MainWindow.frame);
  EXPECT_TRUE(MainWindow.taskbar);
  EXPECT_FALSE(MainWindow.topmost);
  EXPECT_EQ(MainWindow.icon, WindowIcon);
  EXPECT_EQ(MainWindow.created, &OnWindowCreated);
  EXPECT_EQ(MainWindow.first_activated, &OnWindowFirstActivated);
  EXPECT_FALSE(m.controls[Id(m, kFrameControl)].visible)
      << "frame starts hidden";
  EXPECT_EQ(m.controls[Id(m, kFrameControl)].box.mode,
            DisplayMode::CentreShrink);
  EXPECT_EQ(m.controls[Id(m, kUiControl)].d->picture, FacePicture);
}

TEST(MainWindowTest, StacksItsControlsAsListed) {
  WindowModel m = Build();
  const std::int32_t ui = Id(m, kUiControl);
  EXPECT_EQ(m.window_children,
            (std::vector<std::int32_t>{Id(m, kCloseControl), ui}));
  EXPECT_EQ(m.children[ui], (std::vector<std::int32_t>{Id(m, kMinimizeControl),
                                                       Id(m, kTouchControl),
                                                       Id(m, kFrameControl)}));
}

TEST(MainWindowTest, PressesReachTheControlOnTop) {
  struct Case {
    const char* what;
    bool frame_shown;
    std::int32_t x, y;
    const char* expect;
  } cases[] = {
      {"inside the square, frame hidden", false, 134, 128, kTouchControl},
      {"inside the square, frame shown", true, 134, 128, kTouchControl},
      {"square's top row, frame shown", true, 100, 34, kFrameControl},
      {"square's top row, frame hidden", false, 100, 34, kUiControl},
      {"square's left edge, top row", true, 40, 34, kFrameControl},
      {"beside the square on row 34", true, 39, 34, kUiControl},
      {"square's last row", true, 228, 222, kTouchControl},
      {"bottom strip's first row", false, 10, 223, kTouchControl},
      {"bottom strip below the touch area", false, 10, 224, kUiControl},
      {"minimize glyph", false, 212, 10, kMinimizeControl},
      {"minimize bar itself", false, 219, 18, kMinimizeControl},
      {"close glyph", false, 250, 10, kCloseControl},
      {"close cross itself", false, 249, 15, kCloseControl},
      {"right of the touch area", false, 264, 100, kUiControl},
      {"caption strip", false, 100, 20, kUiControl},
  };
  for (const Case& c : cases) {
    WindowModel m = Build();
    m.controls[Id(m, kFrameControl)].visible = c.frame_shown;
    EXPECT_EQ(HitTest(m, c.x, c.y), Id(m, c.expect)) << c.what;
  }
}

TEST(MainWindowTest, EventsReachTheirHandlers) {
  WindowModel m = Build();
  m.controls[Id(m, kFrameControl)].visible = true;
  struct Case {
    const char* what;
    MouseEventKind kind;
    std::int32_t x, y;
    MouseHandler expect;
  } cases[] = {
      {"press on the picture area", MouseEventKind::LeftPressed, 134, 128,
       OnTouchPressed},
      {"release on the picture area", MouseEventKind::LeftReleased, 134, 128,
       nullptr},
      {"release on minimize", MouseEventKind::LeftReleased, 212, 10,
       OnMinimizeReleased},
      {"press on minimize", MouseEventKind::LeftPressed, 212, 10, nullptr},
      {"release on close", MouseEventKind::LeftReleased, 250, 10,
       OnCloseReleased},
      {"press on the frame's top row", MouseEventKind::LeftPressed, 100, 34,
       OnFramePressed},
      {"release on the frame's top row", MouseEventKind::LeftReleased, 100, 34,
       OnFrameReleased},
      {"release on the caption", MouseEventKind::LeftReleased, 100, 20,
       nullptr},
  };
  for (const Case& c : cases) {
    std::optional<MouseEvent> e = c.kind == MouseEventKind::LeftPressed
                                      ? PressLeft(m, c.x, c.y, 0, 0)
                                      : ReleaseLeft(m, c.x, c.y, 0);
    m.click = ClickState{};
    ASSERT_TRUE(e.has_value()) << c.what;
    EXPECT_EQ(BoundHandler(m, *e), c.expect) << c.what;
  }
  // A double click on the frame's top row.
  PressLeft(m, 100, 34, 0, 0);
  auto dbl = PressLeft(m, 100, 34, 0, 10);
  ASSERT_TRUE(dbl.has_value());
  EXPECT_EQ(BoundHandler(m, *dbl), &OnFrameDoubleClicked);
}

// Ten quick presses on the picture area start five refreshes: every second
// press is a double click, which the touch area does not bind.
TEST(MainWindowTest, TenQuickPressesStartFiveRefreshes) {
  WindowModel m = Build();
  int refreshes = 0;
  for (std::uint32_t i = 0; i < 10; ++i) {
    auto e = PressLeft(m, 134, 128, 0, 5000 + 120 * i);
    ASSERT_TRUE(e.has_value());
    if (BoundHandler(m, *e) == &OnTouchPressed) ++refreshes;
    ReleaseLeft(m, 134, 128, 0);
  }
  EXPECT_EQ(refreshes, 5);
}

// The face picture, drawn at its natural size on the oversized UI box, fills
// the client area exactly.
TEST(MainWindowTest, ComposedWindowIsTheFacePicture) {
  WindowModel m = Build();
  ControlState& ui = m.controls[Id(m, kUiControl)];
  ui.picture = PreparePicture(
      Bytes(FacePicture, FacePicture + FacePicture_size), ui.box);
  ASSERT_EQ(ui.picture.frames.size(), 1u);
  const Image& face = ui.picture.frames[0].image;  // 272 x 256, padded
  Image canvas;
  ComposeWindow(m, canvas);
  ASSERT_EQ(canvas.width, 266);
  ASSERT_EQ(canvas.height, 255);
  for (int y = 0; y < 255; ++y) {
    for (int x = 0; x < 266; ++x) {
      ASSERT_EQ(canvas.pixels[static_cast<std::size_t>(y * 266 + x)],
                face.pixels[static_cast<std::size_t>(y * face.width + x)])
          << x << "," << y;
    }
  }
  // The padding the window clips away is the box's button-face colour.
  EXPECT_EQ(face.pixels[static_cast<std::size_t>(10 * face.width + 270)],
            kButtonFace);
}

}  // namespace
