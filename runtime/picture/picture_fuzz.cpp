// libFuzzer target for the whole entry: bytes in, a prepared picture box out,
// painted onto a canvas, in each display mode.
#include "runtime/picture/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const Bytes bytes(data, data + size);
  const DisplayMode mode = static_cast<DisplayMode>(size % 3);
  const BoxSpec box{189, 189, mode, kButtonFace, size % 2 == 0};
  const PreparedPicture picture = PreparePicture(bytes, box);
  Image canvas;
  canvas.width = 266;
  canvas.height = 255;
  canvas.pixels.assign(266 * 255, 0);
  for (std::size_t frame = 0; frame < picture.frames.size() && frame < 4;
       ++frame) {
    PaintPicBox(canvas, Rect{0, 0, 266, 255}, 40, 34, box, picture, frame);
  }
  return 0;
}
