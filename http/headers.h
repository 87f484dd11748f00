// Reading and rewriting header texts: name capitalisation and cutting pieces
// out of a text by markers. Pure functions over their arguments; any thread.
#ifndef YK_HTTP_HEADERS_H_
#define YK_HTTP_HEADERS_H_

#include <cstdint>

#include "runtime/text.h"

// Every header name of a CR LF separated block in its usual capitalisation;
// lines without a colon are dropped.
Text NormalizeHeaderNames(const Text& headers);
// The word with its first byte upper-cased when that byte is a to z.
Text CapitalizeFirst(const Text& word);
// The bytes between the first left marker at or after start and the next
// right marker; "#引号" in a marker stands for a double quote. Empty when a
// marker is missing.
Text TextBetween(const Text& text, const Text& left, const Text& right,
                 std::int32_t start = 0, bool ignoreCase = false);
// Everything after the first colon, trimmed; empty without a colon.
Text HeaderValue(const Text& line);
// The bytes before the first marker at or after start; empty when missing.
Text TextBefore(const Text& text, const Text& marker, std::int32_t start = 0,
                bool ignoreCase = false);

#endif  // YK_HTTP_HEADERS_H_
