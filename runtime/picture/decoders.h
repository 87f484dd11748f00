// The decoders behind the picture services: one per format, each a sniff of
// the first bytes and a decode that delivers rows to a PictureSink, listed in
// one table in signature order. Decoders keep no state between calls, so any
// number of threads may decode at once.
#ifndef YK_RUNTIME_PICTURE_DECODERS_H_
#define YK_RUNTIME_PICTURE_DECODERS_H_

#include <cstdint>
#include <span>

#include "runtime/picture/picture_sink.h"

using ByteSpan = std::span<const std::uint8_t>;

struct Decoder {
  const char* name;
  // Looks at the first 8 bytes (the table is only consulted with 8 or more).
  bool (*sniff)(ByteSpan head);
  // Delivers every frame to the sink; false means no picture.
  bool (*decode)(ByteSpan data, PictureSink& sink);
};

// Every decoder, in signature order.
std::span<const Decoder> Decoders();
// The decoder whose signature `data` carries, or null.
const Decoder* FindDecoder(ByteSpan data);

bool SniffBmp(ByteSpan head);
bool SniffJpeg(ByteSpan head);
bool SniffPng(ByteSpan head);
bool SniffIco(ByteSpan head);
bool SniffCur(ByteSpan head);
bool SniffGif(ByteSpan head);
bool SniffPcx(ByteSpan head);

bool DecodeBmp(ByteSpan data, PictureSink& sink);
bool DecodeJpeg(ByteSpan data, PictureSink& sink);
bool DecodePng(ByteSpan data, PictureSink& sink);
bool DecodeIco(ByteSpan data, PictureSink& sink);  // ICO and CUR
bool DecodeGif(ByteSpan data, PictureSink& sink);
bool DecodePcx(ByteSpan data, PictureSink& sink);

// A device-independent bitmap as BMP files and icons carry it: the info
// header, palette and pixels, without the file header. `pixels_at` is where
// the pixels start within `dib` (0: right after header and palette). Icons
// hold twice the height, the colour bitmap followed by the AND mask.
bool DecodeDib(ByteSpan dib, std::uint32_t pixels_at, bool icon,
               PictureSink& sink);

// Little-endian reads; the caller has checked that the bytes are there.
inline std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

inline Pixel MakePixel(std::uint32_t a, std::uint32_t r, std::uint32_t g,
                       std::uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

#endif  // YK_RUNTIME_PICTURE_DECODERS_H_
