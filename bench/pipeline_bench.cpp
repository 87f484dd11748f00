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

#include "bench/bench_fixtures.h"
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

bool WriteBigJpeg(const std::string& path) {
  return WriteBytes(path, PhotoLikeJpeg(4000, 3000));
}

bool WriteHugePng(const std::string& path) {
  return WriteBytes(path, HugeSmoothPng());
}

// ---- one-shot modes ---------------------------------------------------------

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
