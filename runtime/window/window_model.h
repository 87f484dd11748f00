// The window model: a window's controls, their parents and stacking, hit
// testing, the mouse rules (no capture, double clicks), the property-write
// queue and composition into a pixel buffer. Pure code with no display: the
// SDL backend feeds it events and shows what it composes. The model itself
// belongs to the main thread; only WriteQueue is shared between threads.
#ifndef YK_RUNTIME_WINDOW_WINDOW_MODEL_H_
#define YK_RUNTIME_WINDOW_WINDOW_MODEL_H_

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/picture/picture.h"
#include "runtime/window/window.h"

// Hit-test answers besides a control's index.
inline constexpr std::int32_t kHitWindow = -1;   // the window's own area
inline constexpr std::int32_t kHitNowhere = -2;  // outside the window

// Windows' double-click rule: the second press within this time and inside
// a rectangle of this size centred on the first press.
inline constexpr std::uint32_t kDoubleClickMs = 500;
inline constexpr std::int32_t kDoubleClickSize = 4;

struct ControlState {
  const ControlDescription* d = nullptr;
  std::int32_t parent = kHitWindow;  // a control's index, or the window
  Rect rect;                         // relative to the parent's client area
  bool visible = false;
  BoxSpec box;  // picture boxes: how the picture is placed
  PreparedPicture picture;
  std::size_t frame = 0;             // animations: the frame showing
  std::uint32_t frame_shown_ms = 0;  // when it started to show
  std::int32_t loops_done = 0;
};

struct ClickState {
  bool armed = false;  // a press that a second one may pair with
  std::int32_t control = kHitNowhere;
  std::int32_t x = 0, y = 0;  // window pixels
  std::uint32_t time_ms = 0;
};

struct WindowModel {
  const WindowDescription* d = nullptr;
  std::int32_t x = 0, y = 0;  // top-left on the screen
  std::int32_t width = 0, height = 0;
  bool visible = false;
  bool activated_once = false;
  std::vector<ControlState> controls;  // in list order
  // Stacking, topmost first: the window's children, and each control's.
  std::vector<std::int32_t> window_children;
  std::vector<std::vector<std::int32_t>> children;
  ClickState click;
};

// Left = (screen - size) / 2 truncated toward zero, likewise top.
Rect CentredRect(std::int32_t screen_width, std::int32_t screen_height,
                 std::int32_t width, std::int32_t height);

// Builds the window hidden and its controls: created hidden in reverse list
// order, moved under their parents, stacked so that each lies directly below
// its nearest earlier sibling in the list, then the ones visible at start
// shown. Pictures are not decoded here. Empty (no controls, d null) when the
// description names a parent that does not exist or whose parent chain
// loops.
std::optional<WindowModel> BuildWindow(const WindowDescription& description,
                                       std::int32_t screen_width,
                                       std::int32_t screen_height);

// The control named `name` (GBK bytes), or -1.
std::int32_t FindControl(const WindowModel& model, const char* name);

// Top-left of a control's client area in window pixels.
void ControlOrigin(const WindowModel& model, std::int32_t control,
                   std::int32_t* x, std::int32_t* y);

// The topmost visible control under window pixel (x, y); kHitWindow where no
// control lies, kHitNowhere outside the window.
std::int32_t HitTest(const WindowModel& model, std::int32_t x, std::int32_t y);

// ---- mouse -----------------------------------------------------------------

enum class MouseEventKind { LeftPressed, LeftReleased, DoubleClicked };

struct MouseEvent {
  MouseEventKind kind = MouseEventKind::LeftPressed;
  std::int32_t control = kHitWindow;
  std::int32_t x = 0, y = 0;  // the control's client pixels
  std::int32_t keys = 0;
};

// A left press at window pixel (x, y). Nothing outside the window. The second
// press on one control within the double-click time and rectangle comes out
// as DoubleClicked, and the press after it starts over.
std::optional<MouseEvent> PressLeft(WindowModel& model, std::int32_t x,
                                    std::int32_t y, std::int32_t keys,
                                    std::uint32_t time_ms);
// A left release: goes to whatever lies under the pointer (no capture);
// nothing outside the window.
std::optional<MouseEvent> ReleaseLeft(WindowModel& model, std::int32_t x,
                                      std::int32_t y, std::int32_t keys);

// The handler bound to the event, or null.
MouseHandler BoundHandler(const WindowModel& model, const MouseEvent& event);

// ---- property writes
// ---------------------------------------------------------

enum class WriteKind { Visible, Placement, Picture };

struct PropertyWrite {
  std::string window;
  std::int32_t control = kHitWindow;
  WriteKind kind = WriteKind::Visible;
  bool visible = false;
  std::int32_t placement = 0;
  PreparedPicture picture;
};

// The one queue that carries writes from any thread to the main thread. It
// knows each open window's control names and picture-box settings, so that
// writers never touch the model itself.
struct WriteQueue {
  struct Target {
    std::string window;
    std::vector<std::string> controls;
    std::vector<BoxSpec> boxes;
    std::vector<bool> picture_boxes;
  };
  std::mutex mutex;
  std::vector<Target> open;  // guarded by mutex
  // At most one write per property of each control, oldest first.
  std::deque<PropertyWrite> pending;  // guarded by mutex
  bool woken = false;                 // guarded by mutex: a wake is on its way
  void (*wake)() = nullptr;  // called when writes wait and no wake is due
};

void OpenWriteTarget(WriteQueue& queue, const WindowModel& model);
// Forgets the window and drops its pending writes; later writes to it are
// dropped as they come.
void CloseWriteTarget(WriteQueue& queue, const std::string& window);

// Any thread. False when the write was dropped (unknown or closed window or
// control, a Picture write to a control that is no picture box).
bool PostVisible(WriteQueue& queue, const char* window, const char* control,
                 bool visible);
bool PostPlacement(WriteQueue& queue, const char* window,
                   std::int32_t placement);
// Decodes on the calling thread with `prepare` (PreparePicture in the
// program), outside the lock; only the finished picture is queued.
bool PostPicture(WriteQueue& queue, const char* window, const char* control,
                 const Bytes& picture,
                 PreparedPicture (*prepare)(const Bytes&, const BoxSpec&));

// Main thread: takes every pending write, oldest first. Applying them all
// gives each property the value of its last write.
std::deque<PropertyWrite> TakeWrites(WriteQueue& queue);

// Applies one write to the model. Returns the placement the window is to
// take (0-3, clamped) when the write is a Placement and the window is
// visible, otherwise nothing. `now_ms` starts a new picture's animation.
std::optional<std::int32_t> ApplyWrite(WindowModel& model, PropertyWrite& write,
                                       std::uint32_t now_ms);

// ---- painting --------------------------------------------------------------

// Paints the whole window into `canvas` (resized to the window): the
// window's background, then every visible control from the bottom up,
// clipped to its ancestors.
void ComposeWindow(const WindowModel& model, Image& canvas);

// Moves animations on to `now_ms`. True when a frame changed.
bool AdvanceAnimations(WindowModel& model, std::uint32_t now_ms);
// Milliseconds from `now_ms` until the next frame is due; -1 when nothing
// animates.
std::int32_t NextAnimationDue(const WindowModel& model, std::uint32_t now_ms);

#endif  // YK_RUNTIME_WINDOW_WINDOW_MODEL_H_
