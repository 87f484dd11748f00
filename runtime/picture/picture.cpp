// The picture services' entry points: the decoder table, preparing a picture
// for a box, where a picture lands in a box, and painting a prepared box.
#include "runtime/picture/picture.h"

#include <algorithm>

#include "runtime/picture/decoders.h"
#include "runtime/picture/picture_sink.h"

namespace {

// Signature order: the first whose sniff accepts the bytes decodes them.
constexpr Decoder kDecoders[] = {
    {"bmp", SniffBmp, DecodeBmp}, {"jpeg", SniffJpeg, DecodeJpeg},
    {"png", SniffPng, DecodePng}, {"ico", SniffIco, DecodeIco},
    {"cur", SniffCur, DecodeIco}, {"gif", SniffGif, DecodeGif},
    {"pcx", SniffPcx, DecodePcx},
};

constexpr std::size_t kSignatureBytes = 8;

bool Decode(const Bytes& data, PictureSink& sink) {
  const Decoder* decoder = FindDecoder(ByteSpan(data.data(), data.size()));
  if (decoder == nullptr) return false;
  return decoder->decode(ByteSpan(data.data(), data.size()), sink) &&
         sink.FrameCount() > 0;
}

}  // namespace

std::span<const Decoder> Decoders() { return kDecoders; }

const Decoder* FindDecoder(ByteSpan data) {
  if (data.size() < kSignatureBytes) return nullptr;
  const ByteSpan head = data.first(kSignatureBytes);
  for (const Decoder& decoder : kDecoders) {
    if (decoder.sniff(head)) return &decoder;
  }
  return nullptr;
}

PreparedPicture PreparePicture(const Bytes& data, const BoxSpec& box) {
  PictureSink sink(box);
  if (!Decode(data, sink)) return {};
  return sink.Take();
}

PreparedPicture DecodePicture(const Bytes& data) {
  PictureSink sink;
  if (!Decode(data, sink)) return {};
  return sink.Take();
}

Rect FitPicture(std::int32_t pw, std::int32_t ph, const BoxSpec& box) {
  if (pw < 1 || ph < 1) return {};
  switch (box.mode) {
    case DisplayMode::TopLeft:
      return Rect{0, 0, pw, ph};
    case DisplayMode::Stretch:
      return Rect{0, 0, std::max(box.width, 0), std::max(box.height, 0)};
    case DisplayMode::CentreShrink:
      break;
  }
  const std::int64_t bw = std::max(box.width, 0), bh = std::max(box.height, 0);
  std::int64_t w = pw, h = ph;
  if (w > bw || h > bh) {
    // Scale by the smaller ratio, bw / pw or bh / ph, compared crosswise so
    // no rounding enters; the other side is truncated. A side that would
    // truncate to nothing keeps one pixel, so a thin picture still shows.
    if (bw * ph <= bh * pw) {
      w = bw;
      h = std::max<std::int64_t>(ph * bw / pw, bh > 0 ? 1 : 0);
    } else {
      h = bh;
      w = std::max<std::int64_t>(pw * bh / ph, bw > 0 ? 1 : 0);
    }
  }
  return Rect{static_cast<std::int32_t>((bw - w) / 2),
              static_cast<std::int32_t>((bh - h) / 2),
              static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)};
}

void PaintPicBox(Image& canvas, const Rect& clip, std::int32_t x,
                 std::int32_t y, const BoxSpec& box,
                 const PreparedPicture& picture, std::size_t frame) {
  // The box's pixels that land inside the clip and the canvas.
  const std::int64_t x0 = std::max<std::int64_t>({x, clip.x, 0});
  const std::int64_t y0 = std::max<std::int64_t>({y, clip.y, 0});
  const std::int64_t x1 = std::min<std::int64_t>(
      {std::int64_t{x} + std::max(box.width, 0),
       std::int64_t{clip.x} + std::max(clip.width, 0), canvas.width});
  const std::int64_t y1 = std::min<std::int64_t>(
      {std::int64_t{y} + std::max(box.height, 0),
       std::int64_t{clip.y} + std::max(clip.height, 0), canvas.height});
  if (x0 >= x1 || y0 >= y1) return;
  if (canvas.pixels.size() <
      static_cast<std::size_t>(canvas.width) * canvas.height) {
    return;
  }
  const Pixel plain = box.background | 0xFF000000u;
  const Image* image =
      picture.frames.empty()
          ? nullptr
          : &picture.frames[frame % picture.frames.size()].image;
  for (std::int64_t cy = y0; cy < y1; ++cy) {
    Pixel* out = &canvas.pixels[static_cast<std::size_t>(cy * canvas.width)];
    const std::int64_t by = cy - y;
    std::int64_t cx = x0;
    if (image != nullptr && by < image->height) {
      const std::int64_t end = std::min<std::int64_t>(x1, x + image->width);
      if (cx < end) {
        const Pixel* in =
            &image->pixels[static_cast<std::size_t>(by * image->width)];
        std::copy(in + (cx - x), in + (end - x), out + cx);
        cx = end;
      }
    }
    std::fill(out + cx, out + x1, plain);
  }
}
