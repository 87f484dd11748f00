#include "runtime/picture/decoders.h"
bool SniffBmp(ByteSpan head) { return head[0] == 'B' && head[1] == 'M'; }
bool DecodeBmp(ByteSpan, PictureSink&) { return false; }
bool DecodeDib(ByteSpan, std::uint32_t, bool, PictureSink&) { return false; }
