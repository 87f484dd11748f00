// JPEG through libjpeg-turbo: baseline, progressive, greyscale, CMYK and YCCK
// (Adobe's inverted CMYK too). The picture is decoded at the smallest DCT
// scale that still covers its place in the box, row by row into the sink.
// A truncated file shows what libjpeg recovered (it pads the missing data).
#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "runtime/picture/decoders.h"

namespace {

// libjpeg's working memory for one picture. A progressive file keeps all its
// coefficients (2 bytes per sample); past this it fails rather than grow.
constexpr long kMaxJpegMemory = 256L << 20;
// Progressive files can repeat scans without end; real ones have about ten.
constexpr int kMaxScans = 500;

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// Everything the libjpeg steps touch: plain data only, so that a longjmp out
// of a step destroys nothing.
struct JpegRead {
  jpeg_decompress_struct cinfo;
  JpegError error;
  jpeg_progress_mgr progress;
  ByteSpan data;
  PictureSink* sink;
  bool cmyk;
  bool inverted;         // Adobe's CMYK: 255 means no ink
  std::uint8_t* buffer;  // rec_outbuf_height rows of 4 bytes per pixel
  Pixel* line;
};

void OnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}
void OnMessage(j_common_ptr) {}  // warnings stay quiet

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number >
          kMaxScans) {
    OnError(cinfo);
  }
}

void ReadHeader(JpegRead* r) {
  jpeg_create_decompress(&r->cinfo);
  r->cinfo.mem->max_memory_to_use = kMaxJpegMemory;
  r->progress.progress_monitor = OnProgress;
  r->cinfo.progress = &r->progress;
  jpeg_mem_src(&r->cinfo, r->data.data(),
               static_cast<unsigned long>(r->data.size()));
  jpeg_read_header(&r->cinfo, TRUE);
}

void Start(JpegRead* r) { jpeg_start_decompress(&r->cinfo); }

void CmykToPixels(const std::uint8_t* cmyk, Pixel* out, JDIMENSION width,
                  bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
    std::uint32_t c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    out[x] = MakePixel(255, (c * k + 127) / 255, (m * k + 127) / 255,
                       (y * k + 127) / 255);
  }
}

void ReadRows(JpegRead* r) {
  jpeg_decompress_struct& cinfo = r->cinfo;
  JSAMPROW rows[16];
  const int batch = cinfo.rec_outbuf_height < 16 ? cinfo.rec_outbuf_height : 16;
  for (int i = 0; i < batch; ++i) {
    rows[i] = r->buffer + std::size_t{cinfo.output_width} * 4 * i;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, batch);
    if (got == 0) break;
    for (JDIMENSION i = 0; i < got; ++i) {
      if (r->cmyk) {
        CmykToPixels(rows[i], r->line, cinfo.output_width, r->inverted);
        r->sink->PutRow(r->line);
      } else {
        r->sink->PutRow(reinterpret_cast<const Pixel*>(rows[i]));
      }
    }
  }
}

// The one place libjpeg's error exit lands.
bool Guarded(JpegRead* r, void (*step)(JpegRead*)) {
  if (setjmp(r->error.jump)) return false;
  step(r);
  return true;
}

struct JpegFree {
  JpegRead* r;
  ~JpegFree() { jpeg_destroy_decompress(&r->cinfo); }
};

}  // namespace

bool SniffJpeg(ByteSpan head) { return head[0] == 0xFF && head[1] == 0xD8; }

bool DecodeJpeg(ByteSpan data, PictureSink& sink) {
  JpegRead r{};
  r.data = data;
  r.sink = &sink;
  r.cinfo.err = jpeg_std_error(&r.error.mgr);
  r.error.mgr.error_exit = OnError;
  r.error.mgr.output_message = OnMessage;
  JpegFree free_jpeg{&r};
  if (!Guarded(&r, ReadHeader)) return false;

  jpeg_decompress_struct& cinfo = r.cinfo;
  const JDIMENSION iw = cinfo.image_width, ih = cinfo.image_height;
  if (iw < 1 || ih < 1 || iw > JDIMENSION(kMaxPictureSide) ||
      ih > JDIMENSION(kMaxPictureSide)) {
    return false;
  }
  const auto nw = static_cast<std::int32_t>(iw);
  const auto nh = static_cast<std::int32_t>(ih);

  // The smallest scale n/8 whose output still covers the picture's place.
  const Rect target = sink.Target(nw, nh);
  unsigned scale = 8;
  if (target.width < nw && target.height < nh) {
    for (unsigned n = 1; n < 8; ++n) {
      const std::int64_t ow = (std::int64_t{nw} * n + 7) / 8;
      const std::int64_t oh = (std::int64_t{nh} * n + 7) / 8;
      if (ow >= target.width && oh >= target.height) {
        scale = n;
        break;
      }
    }
  }
  cinfo.scale_num = scale;
  cinfo.scale_denom = 8;
  r.cmyk =
      cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  if (r.cmyk) {
    cinfo.out_color_space = JCS_CMYK;
    r.inverted = cinfo.saw_Adobe_marker;
  } else {
    // Four bytes that read as one 0xAARRGGBB pixel on this machine.
    cinfo.out_color_space = std::endian::native == std::endian::little
                                ? JCS_EXT_BGRA
                                : JCS_EXT_ARGB;
  }
  if (!Guarded(&r, Start)) return false;
  if (cinfo.output_components != 4 || cinfo.output_width < 1 ||
      cinfo.output_height < 1) {
    return false;
  }
  const auto ow = static_cast<std::int32_t>(cinfo.output_width);
  const auto oh = static_cast<std::int32_t>(cinfo.output_height);
  if (!sink.BeginFrame(nw, nh, ow, oh)) return false;
  const int batch = cinfo.rec_outbuf_height < 16 ? cinfo.rec_outbuf_height : 16;
  std::vector<Pixel> buffer(std::size_t{cinfo.output_width} * batch);
  std::vector<Pixel> line(cinfo.output_width);
  r.buffer = reinterpret_cast<std::uint8_t*>(buffer.data());
  r.line = line.data();
  // An error in the middle of the rows (libjpeg pads a truncated file, so
  // this is a real fault) gives no picture.
  if (!Guarded(&r, ReadRows)) return false;
  sink.EndFrame();
  return true;
}
