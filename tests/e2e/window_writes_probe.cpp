// A small window for the whole-window tests of the property writes: when
// first activated it starts a worker that writes a picture (a red BMP) to a
// hidden picture box and then shows it; the test reads the screen. A second
// worker keeps writing until the window is gone, and the process must still
// end cleanly when the window manager closes the window.
#include <atomic>
#include <cstdint>

#include "runtime/window/window.h"

namespace {

Bytes RedBmp() {
  // 4 x 4 pixels, 24 bits, bottom-up rows of 12 bytes (no padding needed).
  Bytes b = {'B', 'M', 102, 0, 0, 0, 0, 0, 0,  0, 54, 0, 0, 0,  // file header
             40,  0,   0,   0, 4, 0, 0, 0, 4,  0, 0,  0,        // size, w, h
             1,   0,   24,  0, 0, 0, 0, 0, 48, 0, 0,  0,        // planes, bpp
             0,   0,   0,   0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) {
    b.push_back(0);    // blue
    b.push_back(0);    // green
    b.push_back(255);  // red
  }
  return b;
}

void ShowRed() {
  WritePicture("Probe", "box", RedBmp());
  WriteVisible("Probe", "box", true);
}

std::atomic<int> activations{0};

void Hammer() {
  // Writes that race the window's end: harmless whenever they land.
  for (;;) {
    WriteVisible("Probe", "box", true);
    WritePlacement("Probe", 0);
  }
}

void OnFirstActivated() {
  activations.fetch_add(1);
  StartThread(ShowRed);
  StartThread(Hammer);
}

const ControlDescription kControls[] = {
    {.name = "box",
     .kind = ControlKind::PicBox,
     .parent = "Probe",
     .rect = {25, 25, 50, 50},
     .visible = false,
     .mode = DisplayMode::Stretch},
};

const WindowDescription kProbe = {
    .name = "Probe",
    .title = "window-writes-probe",
    .width = 100,
    .height = 100,
    .background = 0xFF0000FF,
    .controls = kControls,
    .control_count = 1,
    .first_activated = OnFirstActivated,
};

}  // namespace

int main() {
  InitWindowServices();
  LoadWindow(kProbe);
  RunMessageLoop();
  return activations.load() == 1 ? 0 : 1;
}
