// PNG through libpng: every colour type and bit depth, palettes with tRNS,
// grey with alpha, interlaced. Non-interlaced pictures are read row by row
// into the sink; interlaced ones need the whole picture before the first row
// is complete and are held, under kMaxHeldPixels.
#include <png.h>

#include <cstring>
#include <vector>

#include "runtime/picture/decoders.h"

namespace {

// Everything the libpng steps touch: plain data only, so that a longjmp out
// of a step destroys nothing.
struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ByteSpan data;
  std::size_t pos = 0;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  bool interlaced = false;
  png_bytep row = nullptr;    // one RGBA row
  png_bytepp rows = nullptr;  // every row (interlaced)
  Pixel* line = nullptr;      // one row for the sink
  PictureSink* sink = nullptr;
};

void ReadBytes(png_structp png, png_bytep out, std::size_t n) {
  auto* r = static_cast<PngRead*>(png_get_io_ptr(png));
  if (n > r->data.size() - r->pos) png_error(png, "truncated");
  std::memcpy(out, r->data.data() + r->pos, n);
  r->pos += n;
}

// Quiet: a bad picture is an ordinary outcome, not something to print.
void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

void ToPixels(const png_byte* rgba, Pixel* out, png_uint_32 width) {
  for (png_uint_32 x = 0; x < width; ++x, rgba += 4) {
    out[x] = MakePixel(rgba[3], rgba[0], rgba[1], rgba[2]);
  }
}

// Reads the header and asks for 8-bit RGBA rows whatever the file holds.
void ReadHeader(PngRead* r) {
  png_read_info(r->png, r->info);
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(r->png, r->info, &r->width, &r->height, &depth, &colour,
               &interlace, nullptr, nullptr);
  png_set_expand(r->png);  // palette to RGB, tRNS to alpha, low grey to 8
  png_set_scale_16(r->png);
  png_set_gray_to_rgb(r->png);
  png_set_add_alpha(r->png, 0xFF, PNG_FILLER_AFTER);
  r->interlaced = interlace != PNG_INTERLACE_NONE;
  if (r->interlaced) png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  if (png_get_rowbytes(r->png, r->info) != std::size_t{r->width} * 4) {
    png_error(r->png, "unexpected row size");
  }
}

void ReadRows(PngRead* r) {
  for (png_uint_32 y = 0; y < r->height; ++y) {
    png_read_row(r->png, r->row, nullptr);
    ToPixels(r->row, r->line, r->width);
    r->sink->PutRow(r->line);
  }
}

void ReadWhole(PngRead* r) { png_read_image(r->png, r->rows); }

// The one place libpng's error exit lands.
bool Guarded(PngRead* r, void (*step)(PngRead*)) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  step(r);
  return true;
}

struct PngFree {
  PngRead* r;
  ~PngFree() { png_destroy_read_struct(&r->png, &r->info, nullptr); }
};

}  // namespace

bool SniffPng(ByteSpan head) {
  return head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G';
}

bool DecodePng(ByteSpan data, PictureSink& sink) {
  PngRead r;
  r.data = data;
  r.sink = &sink;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError,
                                 OnWarning);
  if (r.png == nullptr) return false;
  PngFree free_png{&r};
  r.info = png_create_info_struct(r.png);
  if (r.info == nullptr) return false;
  // Refused in the header, before any row is allocated.
  png_set_user_limits(r.png, kMaxPictureSide, kMaxPictureSide);
  png_set_chunk_malloc_max(r.png, 8u << 20);
  png_set_read_fn(r.png, &r, ReadBytes);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Fuzzing only: a mutated chunk would almost never carry a matching CRC,
  // and the decoder behind the check would go unexplored.
  png_set_crc_action(r.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
  if (!Guarded(&r, ReadHeader)) return false;

  const auto w = static_cast<std::int32_t>(r.width);
  const auto h = static_cast<std::int32_t>(r.height);
  if (!sink.BeginFrame(w, h, w, h)) return false;
  std::vector<Pixel> line(r.width);
  r.line = line.data();
  if (!r.interlaced) {
    std::vector<png_byte> row(std::size_t{r.width} * 4);
    r.row = row.data();
    if (!Guarded(&r, ReadRows)) return false;
  } else {
    if (std::int64_t{w} * h > kMaxHeldPixels) return false;
    std::vector<png_byte> whole(std::size_t{r.width} * r.height * 4);
    std::vector<png_bytep> rows(r.height);
    for (png_uint_32 y = 0; y < r.height; ++y) {
      rows[y] = whole.data() + std::size_t{y} * r.width * 4;
    }
    r.rows = rows.data();
    if (!Guarded(&r, ReadWhole)) return false;
    for (png_uint_32 y = 0; y < r.height; ++y) {
      ToPixels(rows[y], r.line, r.width);
      sink.PutRow(r.line);
    }
  }
  sink.EndFrame();
  return true;
}
