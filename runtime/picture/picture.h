// Picture services: bytes in, the pixels of a picture box out. Sniffs the
// format from the first bytes, decodes with the matching decoder into RGBA
// frames, and prepares them once at the box's display size so that painting
// is a copy. PreparePicture may run on any thread; painting runs where the
// window composes.
#ifndef YK_RUNTIME_PICTURE_PICTURE_H_
#define YK_RUNTIME_PICTURE_PICTURE_H_

#include <cstdint>
#include <vector>

#include "runtime/text.h"

// 0xAARRGGBB. Decoded frames carry straight (not premultiplied) alpha;
// prepared boxes and the window canvas are opaque.
using Pixel = std::uint32_t;

struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<Pixel> pixels;  // row-major, width * height
};

struct Rect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

enum class DisplayMode { TopLeft, Stretch, CentreShrink };

// The system's button-face colour, RGB(240, 240, 240).
inline constexpr Pixel kButtonFace = 0xFFF0F0F0;

// What a picture box is: its client size, how it places its picture, the
// colour beneath, and whether shrinking averages (displays above 16 bits per
// pixel) or takes the nearest pixel.
struct BoxSpec {
  std::int32_t width = 0;
  std::int32_t height = 0;
  DisplayMode mode = DisplayMode::TopLeft;
  Pixel background = kButtonFace;
  bool halftone = true;
};

// One frame of a prepared box: box-sized, opaque, background already blended
// beneath the picture.
struct PreparedFrame {
  Image image;
  std::int32_t delay_ms = 0;  // how long the frame shows (animations only)
};

// A picture ready to show in one box. No frames means no picture: the box
// shows its plain background.
struct PreparedPicture {
  std::vector<PreparedFrame> frames;
  // Animations: how many times the frames play through; 0 plays forever.
  std::int32_t loop_count = 0;
};

// The largest picture accepted, per side. 16384 x 16384 is 2^28 pixels: far
// beyond what a fetched picture needs, small enough that every row, offset
// and area sum fits comfortably in 64 bits (and a row in 32), and a picture
// above it is refused from its header, before anything large is allocated.
inline constexpr std::int32_t kMaxPictureSide = 16384;
// Formats that must hold a whole frame at once (interlaced PNG, GIF canvases,
// RLE bitmaps) and all the frames of one picture together stay below this
// many pixels (128 MiB of RGBA).
inline constexpr std::int64_t kMaxHeldPixels = std::int64_t{1} << 25;

// Decodes `data` by its signature and prepares it for `box`. Empty or short
// data, an unknown signature, a failed decode, or a picture above the size
// limit give no picture. Never crashes on hostile bytes.
PreparedPicture PreparePicture(const Bytes& data, const BoxSpec& box);

// Decodes `data` by its signature into frames at the picture's natural size
// with straight alpha (tests and fuzzing look at these; the window uses
// PreparePicture). Frames must fit kMaxHeldPixels together.
PreparedPicture DecodePicture(const Bytes& data);

// Where a picture of pw x ph lands inside the box, by the box's display mode
// ("centre, shrink to fit, never enlarge" for CentreShrink).
Rect FitPicture(std::int32_t pw, std::int32_t ph, const BoxSpec& box);

// Copies frame `frame` of `picture` (or the plain background when there is no
// picture) into `canvas` with the box's top-left corner at (x, y), touching
// only pixels inside `clip`.
void PaintPicBox(Image& canvas, const Rect& clip, std::int32_t x,
                 std::int32_t y, const BoxSpec& box,
                 const PreparedPicture& picture, std::size_t frame);

#endif  // YK_RUNTIME_PICTURE_PICTURE_H_
