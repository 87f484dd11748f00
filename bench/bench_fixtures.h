// Pictures the benchmarks make at run time (never committed), and a reading
// of the process's own memory. Shared by the picture and pipeline
// benchmarks; main thread only.
#ifndef YK_BENCH_BENCH_FIXTURES_H_
#define YK_BENCH_BENCH_FIXTURES_H_

#include <string>

#include "runtime/text.h"

// A photograph-like picture: smooth gradients under fine noise, quality 90,
// so it weighs what a camera picture of that size does.
Bytes PhotoLikeJpeg(int width, int height);
// kMaxPictureSide squared, RGB: smooth, so the file stays a few megabytes
// while its pixels are 768 MiB.
Bytes HugeSmoothPng();
bool WriteBytes(const std::string& path, const Bytes& bytes);
// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), -1 when missing.
long StatusKib(const char* field);

#endif  // YK_BENCH_BENCH_FIXTURES_H_
