// Window and thread services: the description a window is built from,
// LoadWindow and RunMessageLoop (main thread only), the property writes that
// any thread may make, and StartThread. Handlers run on the main thread,
// inside the delivery of their event.
#ifndef YK_RUNTIME_WINDOW_WINDOW_H_
#define YK_RUNTIME_WINDOW_WINDOW_H_

#include <cstddef>
#include <cstdint>

#include "runtime/picture/picture.h"
#include "runtime/text.h"

// Key flags handed to the mouse handlers.
inline constexpr std::int32_t kKeyCtrl = 1;
inline constexpr std::int32_t kKeyShift = 2;
inline constexpr std::int32_t kKeyAlt = 4;

using WindowHandler = void (*)();
// x, y in the control's client pixels; keys as the flags above.
using MouseHandler = void (*)(std::int32_t x, std::int32_t y,
                              std::int32_t keys);

enum class ControlKind {
  TransLabel,  // paints nothing, still takes the mouse
  PicBox,      // paints its background colour and its picture
};

struct ControlDescription {
  const char* name = "";  // GBK bytes
  ControlKind kind = ControlKind::TransLabel;
  const char* parent = "";  // a control's name, or the window's own name
  Rect rect;                // relative to the parent's client area
  bool visible = true;
  // Picture boxes only.
  DisplayMode mode = DisplayMode::TopLeft;
  Pixel background = kButtonFace;
  bool animate = true;
  const std::uint8_t* picture = nullptr;  // built-in picture, or none
  std::size_t picture_size = 0;
  // Bound handlers; null when the event is not bound.
  MouseHandler left_pressed = nullptr;
  MouseHandler left_released = nullptr;
  MouseHandler double_clicked = nullptr;
};

struct WindowDescription {
  const char* name = "";   // how property writes name the window
  const char* title = "";  // GBK; shown on the taskbar button
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool frame = false;    // false: no border, caption or system menu
  bool centred = true;   // centred on the primary screen at start
  bool taskbar = true;   // its own taskbar button
  bool topmost = false;  // kept above other windows
  bool visible = true;
  Pixel background = kButtonFace;
  const std::uint8_t* icon = nullptr;  // ICO bytes, or none
  std::size_t icon_size = 0;
  // Controls in list order: an earlier control lies above a later sibling.
  const ControlDescription* controls = nullptr;
  std::size_t control_count = 0;
  WindowHandler created = nullptr;
  WindowHandler first_activated = nullptr;
};

// Values of the Placement property.
inline constexpr std::int32_t kPlacementNormal = 0;
inline constexpr std::int32_t kPlacementCentred = 1;
inline constexpr std::int32_t kPlacementMinimized = 2;
inline constexpr std::int32_t kPlacementMaximized = 3;

// Starts the window system and installs the error box for fatal faults.
// No display is a fatal fault. Main thread, before LoadWindow.
void InitWindowServices();

// Builds the window from `description` and shows it. A window that cannot be
// built is a fatal fault. Main thread.
void LoadWindow(const WindowDescription& description);

// Delivers events until the last window is gone. Main thread.
void RunMessageLoop();

// Property writes, from any thread. Each is applied whole, on the main
// thread, in the order one thread made them; a write naming a window that is
// gone (or never was) is dropped. WritePicture decodes on the calling thread,
// so the window never waits for a large picture.
void WriteVisible(const char* window, const char* control, bool visible);
void WritePlacement(const char* window, std::int32_t placement);
void WritePicture(const char* window, const char* control,
                  const Bytes& picture);

// Runs `routine` on a new detached thread with the default stack. False
// when the thread cannot be created.
bool StartThread(void (*routine)());

#endif  // YK_RUNTIME_WINDOW_WINDOW_H_
