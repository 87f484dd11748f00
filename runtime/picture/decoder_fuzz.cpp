// libFuzzer target for one decoder, chosen at build time by YK_FUZZ_FORMAT:
// the bytes go straight to the decoder, past the signature check, once for
// a picture box and once at natural size.
#include <cstring>

#include "runtime/picture/decoders.h"
#include "runtime/picture/picture_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const Decoder* decoder = nullptr;
  for (const Decoder& d : Decoders()) {
    if (std::strcmp(d.name, YK_FUZZ_FORMAT) == 0) decoder = &d;
  }
  if (decoder == nullptr) __builtin_trap();
  const ByteSpan bytes(data, size);
  PictureSink box(
      BoxSpec{189, 189, DisplayMode::CentreShrink, kButtonFace, size % 2 == 0});
  decoder->decode(bytes, box);
  PictureSink natural;
  decoder->decode(bytes, natural);
  return 0;
}
