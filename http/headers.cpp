#include "http/headers.h"

namespace {

const Text kLineBreak = "\r\n";
// "#引号": stands for a double quote inside the markers of TextBetween, so a
// caller can write one without escaping.
const Text kQuoteMarker = "\x23\xD2\xFD\xBA\xC5";  // #引号

}  // namespace

Text NormalizeHeaderNames(const Text& headers) {
  Text result;
  for (const Text& line : SplitText(headers, kLineBreak)) {
    std::int32_t colon = FindText(line, ":");
    if (colon < 1) continue;  // not a header line: dropped
    Text name = TextLeft(line, colon - 1);
    Text newName;
    if (FindText(name, "-") > 0) {
      TextArray words = SplitText(name, "-");
      for (std::int32_t i = 1; i <= ArrayCount(words); ++i) {
        if (i > 1) newName += "-";
        newName += CapitalizeFirst(ArrayMember(words, i));
      }
    } else {
      newName = CapitalizeFirst(name);
    }
    // A name ending in dashes splits into fewer words than it has dashes, so
    // the new name can be shorter; the rest is taken from the old line, which
    // brings those dashes back and leaves the value untouched.
    result += newName;
    result += TextRight(line, TextLength(line) - TextLength(newName));
    result += kLineBreak;
  }
  return TextLeft(result, TextLength(result) - 2);
}

Text CapitalizeFirst(const Text& word) {
  if (word.empty()) return Text();
  return ToUpper(TextLeft(word, 1)) + TextMid(word, 2, TextLength(word));
}

Text TextBetween(const Text& text, const Text& left, const Text& right,
                 std::int32_t start, bool ignoreCase) {
  Text leftMarker = ReplaceText(left, kQuoteMarker, "\"");
  Text rightMarker = ReplaceText(right, kQuoteMarker, "\"");
  std::int32_t found = FindText(text, leftMarker, start, ignoreCase);
  if (found < 1) return Text();
  std::int32_t from = found + TextLength(leftMarker);
  std::int32_t to = FindText(text, rightMarker, from, ignoreCase);
  if (to < 1) return Text();
  return TextMid(text, from, to - from);
}

Text HeaderValue(const Text& line) {
  std::int32_t colon = FindText(line, ":");
  if (colon < 1) return Text();
  return TrimBoth(TextRight(line, TextLength(line) - colon));
}

Text TextBefore(const Text& text, const Text& marker, std::int32_t start,
                bool ignoreCase) {
  if (start < 1) start = 1;
  std::int32_t found = FindText(text, marker, start, ignoreCase);
  if (found < 1) return Text();
  return TextLeft(text, found - 1);
}
