// GIF through giflib: GIF87a and GIF89a, interlaced, transparency, every
// disposal method, frames clipped to the logical screen, frame delays and
// the loop count. Frames are composed on a canvas the size of the screen
// and each finished canvas goes to the sink, as browsers play them: a delay
// of 10 ms or less shows as 100 ms.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/picture/decoders.h"

namespace {

// Frames kept of one animation; later ones are dropped.
constexpr std::size_t kMaxFrames = 2048;
constexpr std::int32_t kShortestDelayMs = 100;

struct Input {
  ByteSpan data;
  std::size_t pos = 0;
};

int Read(GifFileType* gif, GifByteType* out, int n) {
  auto* in = static_cast<Input*>(gif->UserData);
  const std::size_t take = std::min(static_cast<std::size_t>(n < 0 ? 0 : n),
                                    in->data.size() - in->pos);
  std::memcpy(out, in->data.data() + in->pos, take);
  in->pos += take;
  return static_cast<int>(take);
}

struct GifClose {
  GifFileType* gif;
  ~GifClose() {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// The order in which an interlaced frame stores its rows.
std::vector<std::int32_t> RowOrder(std::int32_t height, bool interlaced) {
  std::vector<std::int32_t> order;
  order.reserve(height);
  if (!interlaced) {
    for (std::int32_t y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  const std::int32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (std::int32_t y = start[pass]; y < height; y += step[pass]) {
      order.push_back(y);
    }
  }
  return order;
}

struct Area {
  std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

}  // namespace

bool SniffGif(ByteSpan h) {
  return h[0] == 'G' && h[1] == 'I' && h[2] == 'F' && h[3] == '8' &&
         (h[4] == '7' || h[4] == '9') && h[5] == 'a';
}

bool DecodeGif(ByteSpan data, PictureSink& sink) {
  Input input{data, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&input, Read, &error);
  if (gif == nullptr) return false;
  GifClose close{gif};
  const std::int32_t sw = gif->SWidth, sh = gif->SHeight;
  if (sw < 1 || sh < 1 || sw > kMaxPictureSide || sh > kMaxPictureSide ||
      std::int64_t{sw} * sh > kMaxHeldPixels) {
    return false;
  }
  std::vector<Pixel> canvas(static_cast<std::size_t>(sw) * sh, 0);
  std::vector<Pixel> saved;  // under a frame that restores what it covered
  std::vector<GifPixelType> line;

  GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0,
                               NO_TRANSPARENT_COLOR};
  int last_disposal = DISPOSAL_UNSPECIFIED;
  Area last;
  bool netscape = false;
  int repeats = 0;
  std::int64_t decoded = 0;  // pixels of all frames read, drawn or not

  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) break;  // cut short
    if (type == TERMINATE_RECORD_TYPE) break;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) break;
      bool looping = false;
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        DGifExtensionToGCB(block[0], block + 1, &control);
      } else if (code == APPLICATION_EXT_FUNC_CODE && block != nullptr &&
                 block[0] == 11 &&
                 (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                  std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0)) {
        looping = true;
      }
      bool failed = false;
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
          failed = true;
          break;
        }
        if (looping && block != nullptr && block[0] >= 3 && block[1] == 1) {
          netscape = true;
          repeats = Le16(block + 2);
          looping = false;
        }
      }
      if (failed) break;
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;

    if (DGifGetImageDesc(gif) == GIF_ERROR) break;
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map =
        desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    const std::int32_t fx = desc.Left, fy = desc.Top, fw = desc.Width,
                       fh = desc.Height;
    // A frame without colours, of no size, or wholly off the screen is not
    // something a GIF writer makes: the file is broken.
    Area area{std::max(fx, 0), std::max(fy, 0), std::min(fx + fw, sw),
              std::min(fy + fh, sh)};
    if (map == nullptr || fw < 1 || fh < 1 || area.x0 >= area.x1 ||
        area.y0 >= area.y1) {
      return false;
    }
    decoded += std::int64_t{fw} * fh;
    if (decoded > kMaxWorkPixels) break;

    // What the previous frame asked to leave behind it.
    if (last_disposal == DISPOSE_BACKGROUND) {
      for (std::int32_t y = last.y0; y < last.y1; ++y) {
        std::fill_n(&canvas[static_cast<std::size_t>(y) * sw + last.x0],
                    last.x1 - last.x0, 0u);
      }
    } else if (last_disposal == DISPOSE_PREVIOUS && !saved.empty()) {
      for (std::int32_t y = last.y0; y < last.y1; ++y) {
        std::copy_n(
            &saved[static_cast<std::size_t>(y - last.y0) * (last.x1 - last.x0)],
            last.x1 - last.x0,
            &canvas[static_cast<std::size_t>(y) * sw + last.x0]);
      }
    }
    saved.clear();
    if (control.DisposalMode == DISPOSE_PREVIOUS) {
      for (std::int32_t y = area.y0; y < area.y1; ++y) {
        const Pixel* row = &canvas[static_cast<std::size_t>(y) * sw];
        saved.insert(saved.end(), row + area.x0, row + area.x1);
      }
    }

    line.resize(static_cast<std::size_t>(fw));
    bool failed = false;
    for (const std::int32_t row : RowOrder(fh, desc.Interlace)) {
      if (DGifGetLine(gif, line.data(), fw) == GIF_ERROR) {
        failed = true;
        break;
      }
      const std::int32_t y = fy + row;
      if (y < area.y0 || y >= area.y1) continue;
      Pixel* out = &canvas[static_cast<std::size_t>(y) * sw];
      for (std::int32_t x = area.x0; x < area.x1; ++x) {
        const int index = line[x - fx];
        if (index == control.TransparentColor) continue;
        // An index past the colour map shows black, as browsers do.
        if (index >= map->ColorCount) {
          out[x] = 0xFF000000u;
        } else {
          const GifColorType& c = map->Colors[index];
          out[x] = MakePixel(255, c.Red, c.Green, c.Blue);
        }
      }
    }
    if (failed) break;  // the frames before it still play

    const std::int32_t delay = control.DelayTime * 10;
    if (sink.FrameCount() >= kMaxFrames ||
        !sink.BeginFrame(sw, sh, sw, sh,
                         delay <= 10 ? kShortestDelayMs : delay)) {
      break;
    }
    for (std::int32_t y = 0; y < sh; ++y) {
      sink.PutRow(&canvas[static_cast<std::size_t>(y) * sw]);
    }
    sink.EndFrame();
    last_disposal = control.DisposalMode;
    last = area;
    control = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0,
                                   NO_TRANSPARENT_COLOR};
  }
  // Without a loop extension an animation plays once; with one, a count of
  // n repeats it n more times and 0 repeats it forever.
  sink.SetLoopCount(!netscape ? 1 : repeats == 0 ? 0 : repeats + 1);
  return sink.FrameCount() > 0;
}
