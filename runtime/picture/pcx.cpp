#include "runtime/picture/decoders.h"
bool SniffPcx(ByteSpan h) {
  return h[0] == 0x0A && h[2] == 1 &&
         ((h[1] <= 5 && h[3] == 8) || (h[1] == 3 && h[3] == 1));
}
bool DecodePcx(ByteSpan, PictureSink&) { return false; }
