#include "bench/bench_fixtures.h"

#include <jpeglib.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "runtime/picture/picture.h"

Bytes PhotoLikeJpeg(int width, int height) {
  const int w = width, h = height;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
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
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

Bytes HugeSmoothPng() {
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
  return out;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

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
