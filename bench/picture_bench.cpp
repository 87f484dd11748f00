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

#include "bench/bench_fixtures.h"
#include "runtime/picture/picture.h"

namespace {

constexpr BoxSpec kFrameBox{189, 189, DisplayMode::CentreShrink, kButtonFace,
                            true};

// A photograph-like 4000 x 3000, also written out for djpeg.
const Bytes& BigJpeg() {
  static const Bytes jpeg = [] {
    Bytes out = PhotoLikeJpeg(4000, 3000);
    WriteBytes("/tmp/yk_picture_bench.jpg", out);
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

void BM_HugePngPeakMemory(benchmark::State& state) {
  const Bytes png = HugeSmoothPng();
  for (auto _ : state) {
    malloc_trim(0);  // hand freed heap back, so reuse does not hide growth
    {
      std::ofstream clear("/proc/self/clear_refs");
      clear << "5";  // resets the peak to the current size
    }
    const long idle = StatusKib("VmRSS");
    PreparedPicture p = PreparePicture(png, kFrameBox);
    const long peak = StatusKib("VmHWM");
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
