// Picture services under load, run by hand:
//   picture_bench [--benchmark_filter=...]
// - a 4000 x 3000 JPEG prepared for the 189 x 189 box, against the same file
//   decoded by libjpeg alone at scale 1/8 (what `djpeg -scale 1/8` does) and
//   by the djpeg program itself, in the same run;
// - the peak memory of preparing a 16384 x 16384 PNG, above the idle size;
// - painting a prepared box onto the window canvas.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <png.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "runtime/picture/picture.h"

namespace {

constexpr BoxSpec kFrameBox{189, 189, DisplayMode::CentreShrink, kButtonFace,
                            true};

// A photograph-like 4000 x 3000: smooth gradients with fine texture.
const Bytes& BigJpeg() {
  static const Bytes jpeg = [] {
    const int w = 4000, h = 3000;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(w * 3);
    std::uint32_t seed = 7;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int noise = static_cast<int>((seed >> 16) & 15);
        row[3 * x] = static_cast<JSAMPLE>((x * 255 / w + noise) & 0xFF);
        row[3 * x + 1] = static_cast<JSAMPLE>((y * 255 / h + noise) & 0xFF);
        row[3 * x + 2] = static_cast<JSAMPLE>(((x + y) / 30 + noise) & 0xFF);
      }
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    std::ofstream("/tmp/yk_picture_bench.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()),
               static_cast<std::streamsize>(out.size()));
    return out;
  }();
  return jpeg;
}

void BM_JpegIntoFrameBox(benchmark::State& state) {
  const Bytes& jpeg = BigJpeg();
  for (auto _ : state) {
    PreparedPicture p = PreparePicture(jpeg, kFrameBox);
    benchmark::DoNotOptimize(p.frames.data());
  }
}
BENCHMARK(BM_JpegIntoFrameBox)->Unit(benchmark::kMillisecond);

// The reference: libjpeg alone, scale 1/8, RGB rows, nothing else.
void BM_LibjpegScaleOneEighth(benchmark::State& state) {
  const Bytes& jpeg = BigJpeg();
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(cinfo.output_width * cinfo.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) {
      jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(row.data());
  }
}
BENCHMARK(BM_LibjpegScaleOneEighth)->Unit(benchmark::kMillisecond);

// The djpeg program on the same file (process start included).
void BM_DjpegProgram(benchmark::State& state) {
  BigJpeg();
  for (auto _ : state) {
    const int rc = std::system(
        "djpeg -scale 1/8 -outfile /dev/null /tmp/yk_picture_bench.jpg");
    if (rc != 0) {
      state.SkipWithError("djpeg failed (libjpeg-turbo-progs installed?)");
      break;
    }
  }
}
BENCHMARK(BM_DjpegProgram)->Unit(benchmark::kMillisecond);

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) == 0) {
      return std::strtol(line.c_str() + key.size(), nullptr, 10);
    }
  }
  return -1;
}

// 16384 x 16384 RGB, smooth enough to stay a few megabytes.
Bytes HugePng() {
  const int side = kMaxPictureSide;
  Bytes out;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, std::size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_compression_level(png, 6);
  png_set_IHDR(png, info, side, side, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(side * 3);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      row[3 * x] = static_cast<png_byte>(x / 64);
      row[3 * x + 1] = static_cast<png_byte>(y / 64);
      row[3 * x + 2] = static_cast<png_byte>(((x / 512) ^ (y / 512)) * 8);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Peak resident memory while preparing the 16384 x 16384 PNG, above the
// process's size just before (input bytes included in both).
void BM_HugePngPeakMemory(benchmark::State& state) {
  const Bytes png = HugePng();
  for (auto _ : state) {
    malloc_trim(0);  // hand freed heap back, so reuse does not hide growth
    {
      std::ofstream clear("/proc/self/clear_refs");
      clear << "5";  // resets the peak to the current size
    }
    const long idle = StatusKb("VmRSS");
    PreparedPicture p = PreparePicture(png, kFrameBox);
    const long peak = StatusKb("VmHWM");
    benchmark::DoNotOptimize(p.frames.data());
    state.counters["peak_above_idle_MiB"] =
        static_cast<double>(peak - idle) / 1024.0;
    state.counters["file_MiB"] = static_cast<double>(png.size()) / 1048576.0;
    state.counters["shown"] = p.frames.empty() ? 0 : 1;
  }
}
BENCHMARK(BM_HugePngPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PaintPreparedBox(benchmark::State& state) {
  const PreparedPicture picture = PreparePicture(BigJpeg(), kFrameBox);
  Image canvas;
  canvas.width = 266;
  canvas.height = 255;
  canvas.pixels.assign(266 * 255, 0);
  for (auto _ : state) {
    PaintPicBox(canvas, Rect{0, 0, 266, 255}, 40, 34, kFrameBox, picture, 0);
    benchmark::DoNotOptimize(canvas.pixels.data());
  }
}
BENCHMARK(BM_PaintPreparedBox)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
