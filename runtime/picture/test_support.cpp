#include "runtime/picture/test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

const Pixel kProbe[3][4] = {
    {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
    {0x000000, 0xFFFF00, 0x00FFFF, 0xFF00FF},
    {0x808080, 0xFF8000, 0x000080, 0x008080},
};
const std::uint8_t kProbeAlpha[3][4] = {
    {255, 128, 0, 64},
    {255, 255, 200, 1},
    {0, 255, 100, 255},
};
const Pixel kQuads[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

Bytes ReadFixture(const std::string& name) {
  std::ifstream in("testdata/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FixturesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator("testdata/" + folder, ec)) {
    if (entry.is_regular_file()) {
      names.push_back(folder + "/" + entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectProbe(const Image& image, bool alpha, int tolerance,
                 const char* what) {
  ASSERT_EQ(image.width, 4) << what;
  ASSERT_EQ(image.height, 3) << what;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const Pixel want =
          (alpha ? std::uint32_t{kProbeAlpha[y][x]} << 24 : 0xFF000000u) |
          kProbe[y][x];
      EXPECT_LE(ChannelDistance(At(image, x, y), want), tolerance)
          << what << " at " << x << "," << y << ": " << std::hex
          << At(image, x, y) << " for " << want;
    }
  }
}

int ChannelDistance(Pixel a, Pixel b) {
  int most = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                   static_cast<int>((b >> shift) & 0xFF)));
  }
  return most;
}

Bytes Join(Bytes head, std::initializer_list<std::uint8_t> tail) {
  head.reserve(head.size() + tail.size());
  for (std::uint8_t byte : tail) head.push_back(byte);
  return head;
}

Image Solid(int w, int h, Pixel colour) {
  Image image;
  image.width = w;
  image.height = h;
  image.pixels.assign(static_cast<std::size_t>(w) * h, colour);
  return image;
}

Bytes EncodePng(const Image& image, bool interlaced) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes out;
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, std::size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGBA,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_byte> rgba(image.pixels.size() * 4);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const Pixel p = image.pixels[i];
    rgba[4 * i] = p >> 16;
    rgba[4 * i + 1] = p >> 8;
    rgba[4 * i + 2] = p;
    rgba[4 * i + 3] = p >> 24;
  }
  std::vector<png_bytep> rows(image.height);
  for (int y = 0; y < image.height; ++y) {
    rows[y] = rgba.data() + static_cast<std::size_t>(y) * image.width * 4;
  }
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeJpeg(const Image& image, JpegKind kind, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = image.width;
  cinfo.image_height = image.height;
  const bool cmyk = kind == JpegKind::kCmykAdobe || kind == JpegKind::kYcck;
  cinfo.input_components = cmyk ? 4 : 3;
  cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (kind == JpegKind::kYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  if (kind == JpegKind::kProgressive) jpeg_simple_progression(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(image.width) *
                           cinfo.input_components);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Pixel p = At(image, x, y);
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (cmyk) {
        // Inverted CMYK with no black: 255 - ink, ink = 255 - colour.
        JSAMPLE* c = &row[4 * x];
        c[0] = r;
        c[1] = g;
        c[2] = b;
        c[3] = 255;
      } else {
        row[3 * x] = r;
        row[3 * x + 1] = g;
        row[3 * x + 2] = b;
      }
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
