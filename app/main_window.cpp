#include "app/main_window.h"

#include "app/handlers.h"

namespace {

// In list order: an earlier control lies above a later one with the same
// parent. The three labels are invisible hot spots over the painted glyphs
// and the picture area; 触控 lies above 福框 and so takes the presses inside
// the frame too, all but the frame's top row.
const ControlDescription kControls[] = {
    {.name = kCloseControl,
     .kind = ControlKind::TransLabel,
     .parent = kMainWindow,
     .rect = {239, 1, 24, 32},
     .visible = true,
     .left_released = OnCloseReleased},
    {.name = kMinimizeControl,
     .kind = ControlKind::TransLabel,
     .parent = kUiControl,
     .rect = {208, 1, 24, 32},
     .visible = true,
     .left_released = OnMinimizeReleased},
    {.name = kTouchControl,
     .kind = ControlKind::TransLabel,
     .parent = kUiControl,
     .rect = {0, 35, 264, 189},
     .visible = true,
     .left_pressed = OnTouchPressed},
    {.name = kFrameControl,
     .kind = ControlKind::PicBox,
     .parent = kUiControl,
     .rect = {40, 34, 189, 189},
     .visible = false,
     .mode = DisplayMode::CentreShrink,
     .background = kButtonFace,
     .animate = true,
     .left_pressed = OnFramePressed,
     .left_released = OnFrameReleased,
     .double_clicked = OnFrameDoubleClicked},
    // 6 pixels wider and 1 taller than the client area: the window clips it.
    {.name = kUiControl,
     .kind = ControlKind::PicBox,
     .parent = kMainWindow,
     .rect = {0, 0, 272, 256},
     .visible = true,
     .mode = DisplayMode::TopLeft,
     .background = kButtonFace,
     .animate = true,
     .picture = FacePicture,
     .picture_size = FacePicture_size},
};

}  // namespace

const WindowDescription MainWindow = {
    .name = kMainWindow,
    .title = "Yarrowlit-Kestrune2019",
    .width = 266,
    .height = 255,
    .frame = false,
    .centred = true,
    .taskbar = true,
    .topmost = false,
    .visible = true,
    .background = kButtonFace,
    .icon = WindowIcon,
    .icon_size = WindowIcon_size,
    .controls = kControls,
    .control_count = sizeof(kControls) / sizeof(kControls[0]),
    .created = OnWindowCreated,
    .first_activated = OnWindowFirstActivated,
};
