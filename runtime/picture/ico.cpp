#include "runtime/picture/decoders.h"
bool SniffIco(ByteSpan h) {
  return h[0] == 0 && h[1] == 0 && h[2] == 1 && h[3] == 0 && (h[4] | h[5]) != 0;
}
bool SniffCur(ByteSpan h) {
  return h[0] == 0 && h[1] == 0 && h[2] == 2 && h[3] == 0 && (h[4] | h[5]) != 0;
}
bool DecodeIco(ByteSpan, PictureSink&) { return false; }
