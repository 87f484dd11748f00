// The whole in-process path of one picture refresh, run by hand through
// scripts/bench (which starts the loopback picture server and passes its
// addresses): HttpRequest of the body, PreparePicture into the 189 x 189
// centre-shrink frame, PaintPicBox onto the window's canvas. Beside it, in the
// same run, the two peer programs a user would chain for the same job: curl
// fetching the address and djpeg decoding the file at scale 1/8.
//
//   pipeline_bench --jpeg_url=URL --jpeg_file=FILE [benchmark flags]
//   pipeline_bench --write_fixtures=DIR    the 4000 x 3000 JPEG (big.jpg) and
//                                          the 16384 x 16384 PNG (huge.png)
//   pipeline_bench --peak=URL [--warm_url=URL]
//                  one pipeline in a fresh process; prints JSON with the
//                  resident size just before (idle) and the peak during it
//   pipeline_bench --once=URL   one cold pipeline in a fresh process; prints
//                               its milliseconds and the process's resident
//                               high-water mark (the peer-viewer pairing)
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "http/http_request.h"
#include "platform/wininet.h"
#include "runtime/picture/picture.h"

extern char** environ;

namespace {

// The frame of the main window: 189 x 189, centre and shrink, on the button
// face, at (40, 34) of the 266 x 255 window.
constexpr BoxSpec kFrameBox{189, 189, DisplayMode::CentreShrink, kButtonFace,
                            true};
constexpr std::int32_t kFrameX = 40, kFrameY = 34;
constexpr std::int32_t kWindowW = 266, kWindowH = 255;

std::string g_jpeg_url, g_jpeg_file;

Image WindowCanvas() {
  Image canvas;
  canvas.width = kWindowW;
  canvas.height = kWindowH;
  canvas.pixels.assign(static_cast<std::size_t>(kWindowW) * kWindowH, 0);
  return canvas;
}

// One refresh as the program makes it, minus the random pick: fetch, prepare,
// paint. True when a picture was shown.
bool Pipeline(const std::string& url, Image& canvas) {
  Bytes body = HttpRequest(url);
  PreparedPicture picture = PreparePicture(body, kFrameBox);
  Bytes().swap(body);
  PaintPicBox(canvas, Rect{0, 0, canvas.width, canvas.height}, kFrameX, kFrameY,
              kFrameBox, picture, 0);
  return !picture.frames.empty();
}

// Runs a program to completion; true when it exited 0.
bool Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int status = 0;
  return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) ==
             0 &&
         waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

bool HaveInputs(benchmark::State& state) {
  if (g_jpeg_url.empty() || g_jpeg_file.empty()) {
    state.SkipWithError("needs --jpeg_url and --jpeg_file (scripts/bench)");
    return false;
  }
  return true;
}

void BM_Pipeline(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  Image canvas = WindowCanvas();
  for (auto _ : state) {
    if (!Pipeline(g_jpeg_url, canvas)) {
      state.SkipWithError("no picture shown");
      return;
    }
    benchmark::DoNotOptimize(canvas.pixels.data());
  }
}
BENCHMARK(BM_Pipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peers: curl fetches the address (to a file, since djpeg needs one),
// then djpeg decodes the same file at 1/8, the scale our decoder picks for
// this box.
void BM_CurlThenDjpeg(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  for (auto _ : state) {
    if (!Run({"curl", "-s", "-o", "/dev/null", g_jpeg_url}) ||
        !Run(
            {"djpeg", "-scale", "1/8", "-outfile", "/dev/null", g_jpeg_file})) {
      state.SkipWithError("curl or djpeg failed");
      return;
    }
  }
}
BENCHMARK(BM_CurlThenDjpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts on their own, to show where the time goes.
void BM_FetchOnly(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  for (auto _ : state) benchmark::DoNotOptimize(HttpRequest(g_jpeg_url));
}
BENCHMARK(BM_FetchOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PrepareAndPaintOnly(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  std::ifstream in(g_jpeg_file, std::ios::binary);
  const Bytes body((std::istreambuf_iterator<char>(in)),
                   std::istreambuf_iterator<char>());
  Image canvas = WindowCanvas();
  for (auto _ : state) {
    PreparedPicture picture = PreparePicture(body, kFrameBox);
    PaintPicBox(canvas, Rect{0, 0, kWindowW, kWindowH}, kFrameX, kFrameY,
                kFrameBox, picture, 0);
    benchmark::DoNotOptimize(canvas.pixels.data());
  }
}
BENCHMARK(BM_PrepareAndPaintOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurlOnly(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  for (auto _ : state) {
    if (!Run({"curl", "-s", "-o", "/dev/null", g_jpeg_url})) {
      state.SkipWithError("curl failed");
      return;
    }
  }
}
BENCHMARK(BM_CurlOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DjpegOnly(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  for (auto _ : state) {
    if (!Run(
            {"djpeg", "-scale", "1/8", "-outfile", "/dev/null", g_jpeg_file})) {
      state.SkipWithError("djpeg failed");
      return;
    }
  }
}
BENCHMARK(BM_DjpegOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- fixtures ---------------------------------------------------------------

// A photograph-like 4000 x 3000: smooth gradients under fine noise, quality
// 90, so that it weighs what a camera picture of that size does (~2-4 MB).
bool WriteBigJpeg(const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const int w = 4000, h = 3000;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(w) * 3);
  std::uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) & 15);
      row[3 * x] = static_cast<JSAMPLE>((x * 200 / w + noise + 20) & 0xFF);
      row[3 * x + 1] = static_cast<JSAMPLE>((y * 200 / h + noise + 20) & 0xFF);
      row[3 * x + 2] =
          static_cast<JSAMPLE>((((x / 250) ^ (y / 250)) * 9 + noise) & 0xFF);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(out) == 0;
}

// 16384 x 16384 RGB, the largest side the picture services accept; smooth, so
// the file stays a few megabytes while the pixels are 768 MiB.
bool WriteHugePng(const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const int side = kMaxPictureSide;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    return false;
  }
  png_init_io(png, out);
  png_set_compression_level(png, 6);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_IHDR(png, info, side, side, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<std::size_t>(side) * 3);
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
  return std::fclose(out) == 0;
}

// ---- one-shot modes ---------------------------------------------------------

long StatusKib(const char* field) {
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

// Idle: the process with the network layer started, one small request done
// (so that lazily made state exists, as in a program that has fetched
// before) and the window canvas allocated. Peak: the high-water mark of the
// resident size during one fetch, prepare and paint of `url`.
int PeakMode(const std::string& url, const std::string& warm_url) {
  Image canvas = WindowCanvas();
  if (!warm_url.empty()) benchmark::DoNotOptimize(HttpRequest(warm_url));
  malloc_trim(0);
  bool reset = false;
  {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";  // the high-water mark starts again from the current size
    reset = static_cast<bool>(clear.flush());
  }
  const long idle = StatusKib("VmRSS");
  const long idle_hwm = StatusKib("VmHWM");
  const bool shown = Pipeline(url, canvas);
  const long peak = StatusKib("VmHWM");
  std::printf(
      "{\"idle_kib\": %ld, \"peak_kib\": %ld, \"idle_hwm_kib\": %ld, "
      "\"peak_reset\": %s, \"shown\": %s}\n",
      idle, peak, idle_hwm, reset ? "true" : "false", shown ? "true" : "false");
  return shown ? 0 : 1;
}

int OnceMode(const std::string& url) {
  Image canvas = WindowCanvas();
  const auto start = std::chrono::steady_clock::now();
  const bool shown = Pipeline(url, canvas);
  const std::chrono::duration<double, std::milli> ms =
      std::chrono::steady_clock::now() - start;
  std::printf("{\"ms\": %.3f, \"hwm_kib\": %ld, \"shown\": %s}\n", ms.count(),
              StatusKib("VmHWM"), shown ? "true" : "false");
  return shown ? 0 : 1;
}

// Takes --name=value off the command line, so that what remains is Google
// Benchmark's.
bool TakeFlag(int* argc, char** argv, const char* name, std::string* value) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) {
      *value = argv[i] + prefix.size();
      for (int j = i; j + 1 < *argc; ++j) argv[j] = argv[j + 1];
      --*argc;
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir, peak, warm, once;
  if (TakeFlag(&argc, argv, "write_fixtures", &dir)) {
    const bool ok =
        WriteBigJpeg(dir + "/big.jpg") && WriteHugePng(dir + "/huge.png");
    return ok ? 0 : 1;
  }
  InternetStartUp();
  TakeFlag(&argc, argv, "warm_url", &warm);
  if (TakeFlag(&argc, argv, "peak", &peak)) return PeakMode(peak, warm);
  if (TakeFlag(&argc, argv, "once", &once)) return OnceMode(once);
  TakeFlag(&argc, argv, "jpeg_url", &g_jpeg_url);
  TakeFlag(&argc, argv, "jpeg_file", &g_jpeg_file);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
