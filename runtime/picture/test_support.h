// Helpers shared by the picture tests: reading fixtures, the probe pattern
// the fixture generator draws, and encoders for pictures made in a test.
#ifndef YK_RUNTIME_PICTURE_TEST_SUPPORT_H_
#define YK_RUNTIME_PICTURE_TEST_SUPPORT_H_

#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/picture/picture.h"

// The bytes of testdata/<name>; empty when missing.
Bytes ReadFixture(const std::string& name);
// Every file under testdata/<folder>, by name.
std::vector<std::string> FixturesIn(const std::string& folder);

// The 4 x 3 probe: twelve distinct colours (0xRRGGBB) and their alphas.
extern const Pixel kProbe[3][4];
extern const std::uint8_t kProbeAlpha[3][4];
// The 32 x 32 quadrant picture's colours: top left, top right, bottom left,
// bottom right.
extern const Pixel kQuads[4];

inline Pixel At(const Image& image, int x, int y) {
  return image.pixels[static_cast<std::size_t>(y) * image.width + x];
}

// Checks that `image` is the probe (with its alphas when `alpha`), every
// channel within `tolerance`, naming `what` on failure.
void ExpectProbe(const Image& image, bool alpha, int tolerance,
                 const char* what);

// Colour distance: the largest difference of one channel.
int ChannelDistance(Pixel a, Pixel b);

// A PNG of `image` (straight alpha), written by libpng.
Bytes EncodePng(const Image& image, bool interlaced = false);

enum class JpegKind { kRgb, kCmykAdobe, kYcck, kProgressive };
// A JPEG of `image` by libjpeg. kCmykAdobe and kYcck store the colours as
// inverted CMYK with an Adobe segment, as Photoshop does.
Bytes EncodeJpeg(const Image& image, JpegKind kind, int quality = 95);

// head followed by tail.
Bytes Join(Bytes head, std::initializer_list<std::uint8_t> tail);

// w x h of one colour.
Image Solid(int w, int h, Pixel colour);

#endif  // YK_RUNTIME_PICTURE_TEST_SUPPORT_H_
