#include "runtime/picture/decoders.h"
bool SniffGif(ByteSpan head) {
  return head[0] == 'G' && head[1] == 'I' && head[2] == 'F' && head[3] == '8' &&
         (head[4] == '7' || head[4] == '9') && head[5] == 'a';
}
bool DecodeGif(ByteSpan, PictureSink&) { return false; }
