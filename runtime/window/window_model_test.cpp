#include "runtime/window/window_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A small window: a background box "back" over the whole client area with a
// label "top" and a box "pic" as its children (the label above), and a
// label "corner" straight on the window, above "back".
const ControlDescription kControls[] = {
    {.name = "corner", .parent = "W", .rect = {90, 0, 10, 10}},
    {.name = "top", .parent = "back", .rect = {10, 20, 50, 40}},
    {.name = "pic",
     .kind = ControlKind::PicBox,
     .parent = "back",
     .rect = {20, 10, 30, 30},
     .visible = false},
    {.name = "back",
     .kind = ControlKind::PicBox,
     .parent = "W",
     .rect = {0, 0, 120, 100}},
};

WindowDescription Window(const ControlDescription* controls,
                         std::size_t count) {
  WindowDescription d;
  d.name = "W";
  d.width = 100;
  d.height = 80;
  d.controls = controls;
  d.control_count = count;
  return d;
}

const WindowDescription kWindow = Window(kControls, 4);

WindowModel Build() {
  auto m = BuildWindow(kWindow, 1000, 500);
  EXPECT_TRUE(m.has_value());
  return *m;
}

TEST(BuildWindowTest, StacksSiblingsInListOrderAndShowsTheVisibleOnes) {
  WindowModel m = Build();
  EXPECT_EQ(m.window_children, (std::vector<std::int32_t>{0, 3}));
  EXPECT_EQ(m.children[3], (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(m.controls[1].parent, 3);
  EXPECT_EQ(m.controls[0].parent, kHitWindow);
  EXPECT_TRUE(m.controls[0].visible);
  EXPECT_FALSE(m.controls[2].visible);
  EXPECT_FALSE(m.visible);  // the window itself is shown later
  EXPECT_EQ(m.x, 450);
  EXPECT_EQ(m.y, 210);
}

TEST(BuildWindowTest, CentresTruncatingTowardZero) {
  struct Case {
    const char* what;
    std::int32_t sw, sh, w, h, x, y;
  } cases[] = {
      {"odd remainder", 1920, 1080, 266, 255, 827, 412},
      {"exact", 800, 600, 200, 100, 300, 250},
      {"screen smaller than window", 200, 200, 266, 255, -33, -27},
  };
  for (const Case& c : cases) {
    Rect r = CentredRect(c.sw, c.sh, c.w, c.h);
    EXPECT_EQ(r.x, c.x) << c.what;
    EXPECT_EQ(r.y, c.y) << c.what;
  }
}

TEST(BuildWindowTest, RefusesBadParents) {
  const ControlDescription unknown[] = {
      {.name = "a", .parent = "nobody", .rect = {}}};
  const ControlDescription self[] = {{.name = "a", .parent = "a", .rect = {}}};
  const ControlDescription loop[] = {{.name = "a", .parent = "b", .rect = {}},
                                     {.name = "b", .parent = "a", .rect = {}}};
  struct Case {
    const char* what;
    const ControlDescription* controls;
    std::size_t count;
  } cases[] = {{"unknown parent", unknown, 1},
               {"own parent", self, 1},
               {"parent loop", loop, 2}};
  for (const Case& c : cases) {
    WindowDescription d = Window(c.controls, c.count);
    EXPECT_FALSE(BuildWindow(d, 800, 600).has_value()) << c.what;
  }
  WindowDescription empty = Window(nullptr, 0);
  empty.width = 0;
  EXPECT_FALSE(BuildWindow(empty, 800, 600).has_value()) << "no size";
}

TEST(HitTestTest, TopmostVisibleControlClippedToTheWindow) {
  WindowModel m = Build();
  struct Case {
    const char* what;
    bool pic_shown;
    std::int32_t x, y;
    const char* expect;  // null: the window's own area; "" outside
  } cases[] = {
      {"label above hidden box", false, 25, 25, "top"},
      {"label above shown box", true, 25, 25, "top"},
      {"box row the label leaves", true, 25, 10, "pic"},
      {"same row, box hidden", false, 25, 10, "back"},
      {"child on the window above back", false, 95, 5, "corner"},
      {"back beyond its children", false, 5, 70, "back"},
      {"right of the window, inside back", false, 100, 50, ""},
      {"negative", false, -1, 5, ""},
  };
  for (const Case& c : cases) {
    m.controls[2].visible = c.pic_shown;
    std::int32_t hit = HitTest(m, c.x, c.y);
    if (c.expect[0] == '\0') {
      EXPECT_EQ(hit, kHitNowhere) << c.what;
    } else {
      EXPECT_EQ(hit, FindControl(m, c.expect)) << c.what;
    }
  }
  m.controls[3].visible = false;  // hiding a parent hides its children
  EXPECT_EQ(HitTest(m, 25, 25), kHitWindow);
}

TEST(MouseTest, EveryOtherQuickPressOnOneSpotIsADoubleClick) {
  WindowModel m = Build();
  int pressed = 0, doubled = 0;
  for (int i = 0; i < 10; ++i) {
    auto e = PressLeft(m, 30, 30, 0, 1000 + 50 * i);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->control, FindControl(m, "top"));
    (e->kind == MouseEventKind::DoubleClicked ? doubled : pressed)++;
    EXPECT_EQ(e->kind, i % 2 ? MouseEventKind::DoubleClicked
                             : MouseEventKind::LeftPressed)
        << "press " << i;
  }
  EXPECT_EQ(pressed, 5);
  EXPECT_EQ(doubled, 5);
}

TEST(MouseTest, DoubleClickNeedsTimeRectangleAndControl) {
  struct Case {
    const char* what;
    std::int32_t dx, dy;
    std::uint32_t dt;
    bool doubled;
  } cases[] = {
      {"same spot at once", 0, 0, 0, true},
      {"at the time limit", 0, 0, 500, true},
      {"past the time limit", 0, 0, 501, false},
      {"two left", -2, 0, 100, true},
      {"three left", -3, 0, 100, false},
      {"one right, one down", 1, 1, 100, true},
      {"two right", 2, 0, 100, false},
      {"two up", 0, -2, 100, true},
      {"two down", 0, 2, 100, false},
      {"other control", 60, 0, 100, false},  // x 90: "corner"
  };
  for (const Case& c : cases) {
    WindowModel m = Build();
    // Near the clock's wrap: time differences must not care.
    const std::uint32_t t0 = 0xFFFFFF00u;
    PressLeft(m, 30, 5, 0, t0);
    auto e = PressLeft(m, 30 + c.dx, 5 + c.dy, 0, t0 + c.dt);
    ASSERT_TRUE(e.has_value()) << c.what;
    EXPECT_EQ(e->kind == MouseEventKind::DoubleClicked, c.doubled) << c.what;
  }
}

TEST(MouseTest, ReleaseGoesToWhatIsUnderThePointer) {
  WindowModel m = Build();
  auto press = PressLeft(m, 25, 25, kKeyCtrl | kKeyAlt, 0);
  ASSERT_TRUE(press.has_value());
  EXPECT_EQ(press->x, 15);  // "top" starts at 10, 20
  EXPECT_EQ(press->y, 5);
  EXPECT_EQ(press->keys, kKeyCtrl | kKeyAlt);
  auto there = ReleaseLeft(m, 95, 5, kKeyShift);
  ASSERT_TRUE(there.has_value());
  EXPECT_EQ(there->control, FindControl(m, "corner"));
  EXPECT_EQ(there->kind, MouseEventKind::LeftReleased);
  EXPECT_EQ(there->x, 5);
  EXPECT_EQ(there->keys, kKeyShift);
  EXPECT_FALSE(ReleaseLeft(m, 150, 5, 0).has_value());
  EXPECT_FALSE(PressLeft(m, 5, 85, 0, 0).has_value());
}

void Record(std::int32_t, std::int32_t, std::int32_t) {}

TEST(MouseTest, BoundHandlerFollowsTheEventKind) {
  const ControlDescription bound[] = {{.name = "a",
                                       .parent = "W",
                                       .rect = {0, 0, 10, 10},
                                       .left_released = Record}};
  WindowDescription d = Window(bound, 1);
  WindowModel m = *BuildWindow(d, 100, 100);
  MouseEvent e{MouseEventKind::LeftReleased, 0, 0, 0, 0};
  EXPECT_EQ(BoundHandler(m, e), &Record);
  e.kind = MouseEventKind::LeftPressed;
  EXPECT_EQ(BoundHandler(m, e), nullptr);
  e.control = kHitWindow;
  EXPECT_EQ(BoundHandler(m, e), nullptr);
}

// ---- property writes
// ---------------------------------------------------------

PreparedPicture Solid(const Bytes& bytes, const BoxSpec& box) {
  // One frame, every pixel the value the bytes spell.
  Pixel v = 0;
  for (std::uint8_t b : bytes) v = (v << 8) | b;
  PreparedPicture p;
  p.frames.push_back(PreparedFrame{
      Image{box.width, box.height,
            std::vector<Pixel>(static_cast<std::size_t>(box.width) *
                                   static_cast<std::size_t>(box.height),
                               v)},
      0});
  return p;
}

TEST(WriteQueueTest, DropsWritesToUnknownOrClosedTargets) {
  WindowModel m = Build();
  WriteQueue q;
  EXPECT_FALSE(PostVisible(q, "W", "pic", true)) << "not open yet";
  OpenWriteTarget(q, m);
  EXPECT_FALSE(PostVisible(q, "X", "pic", true)) << "other window";
  EXPECT_FALSE(PostVisible(q, "W", "nothing", true)) << "unknown control";
  EXPECT_FALSE(PostVisible(q, nullptr, nullptr, true)) << "null names";
  EXPECT_FALSE(PostPicture(q, "W", "top", Bytes{1}, Solid)) << "a label";
  EXPECT_TRUE(PostVisible(q, "W", "pic", true));
  CloseWriteTarget(q, "W");
  EXPECT_TRUE(TakeWrites(q).empty()) << "pending writes dropped on close";
  EXPECT_FALSE(PostPlacement(q, "W", 2)) << "after close";
  EXPECT_FALSE(PostPicture(q, "W", "pic", Bytes{1}, Solid)) << "after close";
}

TEST(WriteQueueTest, PlacementIsClampedAndActsOnlyWhileVisible) {
  WindowModel m = Build();
  WriteQueue q;
  OpenWriteTarget(q, m);
  struct Case {
    const char* what;
    bool visible;
    std::int32_t value;
    std::optional<std::int32_t> expect;
  } cases[] = {
      {"minimize", true, 2, 2},
      {"below range", true, -7, 0},
      {"above range", true, 99, 3},
      {"maximize", true, 3, 3},
      {"hidden window", false, 2, std::nullopt},
  };
  for (const Case& c : cases) {
    m.visible = c.visible;
    ASSERT_TRUE(PostPlacement(q, "W", c.value)) << c.what;
    auto writes = TakeWrites(q);
    ASSERT_EQ(writes.size(), 1u) << c.what;
    EXPECT_EQ(ApplyWrite(m, writes.front(), 0), c.expect) << c.what;
  }
}

// Eight threads write the picture box at once, each a run of pictures that
// spell (thread, sequence) and a visibility toggle after each; the main
// thread applies as they come. Every applied picture must be whole (all
// pixels equal), each thread's sequence must only go up, the queue must
// stay bounded however fast the writers are, and the last write must win.
TEST(WriteQueueTest, WritesFromManyThreadsApplyWholeAndInOrder) {
  WindowModel m = Build();
  WriteQueue q;
  std::atomic<int> wakes{0};
  static std::atomic<int>* wake_count = nullptr;
  wake_count = &wakes;
  q.wake = [] { wake_count->fetch_add(1); };
  OpenWriteTarget(q, m);
  const std::int32_t pic = FindControl(m, "pic");
  constexpr int kThreads = 8, kWrites = 200;
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 1; i <= kWrites; ++i) {
        Bytes spell = {static_cast<std::uint8_t>(t),
                       static_cast<std::uint8_t>(i >> 8),
                       static_cast<std::uint8_t>(i)};
        PostPicture(q, "W", "pic", spell, Solid);
        PostVisible(q, "W", "pic", i % 2 == 1);
      }
      done.fetch_add(1);
    });
  }
  int last[kThreads] = {};
  int takes = 0;
  auto drain = [&] {
    std::deque<PropertyWrite> writes = TakeWrites(q);
    ++takes;
    ASSERT_LE(writes.size(), 2u) << "one write per property at most";
    for (PropertyWrite& w : writes) {
      ApplyWrite(m, w, 0);
      if (w.kind != WriteKind::Picture) continue;
      const auto& px = m.controls[static_cast<std::size_t>(pic)]
                           .picture.frames.at(0)
                           .image.pixels;
      ASSERT_EQ(px.size(), 900u);
      for (Pixel p : px) ASSERT_EQ(p, px[0]) << "half-applied picture";
      int thread = static_cast<int>(px[0] >> 16), seq = px[0] & 0xFFFF;
      ASSERT_LT(thread, kThreads);
      EXPECT_GT(seq, last[thread]) << "thread " << thread << " out of order";
      last[thread] = seq;
    }
  };
  while (done.load() < kThreads) drain();
  for (auto& th : threads) th.join();
  drain();
  // The last picture posted is some thread's last, and every thread's last
  // visibility write is false (200 is even).
  const ControlState& s = m.controls[static_cast<std::size_t>(pic)];
  EXPECT_EQ(s.picture.frames.at(0).image.pixels[0] & 0xFFFF,
            static_cast<Pixel>(kWrites));
  EXPECT_FALSE(s.visible);
  EXPECT_GE(wakes.load(), 1);
  EXPECT_LE(wakes.load(), takes) << "one wake per batch";
}

TEST(WriteQueueTest, LaterWriteReplacesAPendingOneToTheSameProperty) {
  WindowModel m = Build();
  WriteQueue q;
  OpenWriteTarget(q, m);
  PostVisible(q, "W", "pic", true);
  PostPicture(q, "W", "back", Bytes{7}, Solid);
  PostVisible(q, "W", "top", true);
  PostVisible(q, "W", "pic", false);
  std::deque<PropertyWrite> writes = TakeWrites(q);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].kind, WriteKind::Picture);
  EXPECT_EQ(writes[1].control, FindControl(m, "top"));
  EXPECT_EQ(writes[2].control, FindControl(m, "pic"));
  EXPECT_FALSE(writes[2].visible);
}

// ---- animation
// ---------------------------------------------------------------

TEST(AnimationTest, FramesFollowTheirDelaysAndStopAfterTheLoops) {
  WindowModel m = Build();
  const std::int32_t pic = FindControl(m, "pic");
  ControlState& s = m.controls[static_cast<std::size_t>(pic)];
  PropertyWrite w;
  w.window = "W";
  w.control = pic;
  w.kind = WriteKind::Picture;
  w.picture.frames.resize(3);
  w.picture.frames[0].delay_ms = 100;
  w.picture.frames[1].delay_ms = 0;  // shown as 100 ms
  w.picture.frames[2].delay_ms = 300;
  w.picture.loop_count = 1;
  ApplyWrite(m, w, 1000);
  EXPECT_EQ(NextAnimationDue(m, 1000), -1) << "hidden box does not animate";
  s.visible = true;
  EXPECT_EQ(NextAnimationDue(m, 1040), 60);
  EXPECT_FALSE(AdvanceAnimations(m, 1099));
  EXPECT_TRUE(AdvanceAnimations(m, 1100));
  EXPECT_EQ(s.frame, 1u);
  EXPECT_TRUE(AdvanceAnimations(m, 1200));
  EXPECT_EQ(s.frame, 2u);
  EXPECT_EQ(NextAnimationDue(m, 1200), 300);
  EXPECT_TRUE(AdvanceAnimations(m, 1500));
  EXPECT_EQ(s.frame, 2u) << "one loop played: stays on the last frame";
  EXPECT_EQ(NextAnimationDue(m, 1500), -1);
}

TEST(AnimationTest, LongStallCatchesUpWithoutSpinning) {
  WindowModel m = Build();
  ControlState& s = m.controls[static_cast<std::size_t>(FindControl(m, "pic"))];
  s.visible = true;
  s.picture.frames.resize(2);
  s.picture.frames[0].delay_ms = 50;
  s.picture.frames[1].delay_ms = 50;
  EXPECT_TRUE(AdvanceAnimations(m, 4000000000u));
  EXPECT_EQ(NextAnimationDue(m, 4000000000u), 50);
}

}  // namespace
