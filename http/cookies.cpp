#include "http/cookies.h"

#include <string_view>
#include <unordered_set>

namespace {

const Text kPairSeparator = "; ";
const Text kDeletedMark = "=deleted";

// Trims a cookie list and turns a final ";" into a separator.
Text TidyCookieList(const Text& list) {
  Text tidy = TrimBoth(list);
  if (TextRight(tidy, 1) == ";") tidy += " ";
  return tidy;
}

}  // namespace

Text MergeCookies(Text* sent, Text* received) {
  Text sentList = TidyCookieList(sent ? *sent : Text());
  Text receivedList = TidyCookieList(received ? *received : Text());
  if (received) *received = receivedList;

  TextArray sentPairs = SplitText(sentList, kPairSeparator);
  TextArray pairs = SplitText(receivedList, kPairSeparator);
  // The names in `pairs`, kept beside it so that a long list costs one
  // look-up per pair: the same answer as ContainsCookieName over `pairs`,
  // which grows as sent pairs join it.
  std::unordered_set<Text> names;
  for (const Text& pair : pairs) names.insert(CookieName(pair));
  for (const Text& pair : sentPairs) {
    if (names.insert(CookieName(pair)).second) ArrayAppend(pairs, pair);
  }

  Text merged;
  for (const Text& pair : pairs) {
    if (TextRight(pair, TextLength(kDeletedMark)) == kDeletedMark) continue;
    merged += pair;
    merged += kPairSeparator;
  }
  merged = TextLeft(merged, TextLength(merged) - TextLength(kPairSeparator));
  merged = SplitUnique(merged, kPairSeparator, true);
  if (sent) *sent = merged;
  return merged;
}

Text CookieName(const Text& pair) {
  std::int32_t equals = FindText(pair, "=");
  return TrimBoth(equals > 0 ? TextLeft(pair, equals - 1) : pair);
}

bool ContainsCookieName(const TextArray& pairs, const Text& name) {
  for (const Text& pair : pairs) {
    if (CookieName(pair) == name) return true;
  }
  return false;
}

Text SplitUnique(const Text& text, const Text& separator, bool separatorMode) {
  TextArray members;
  if (separatorMode) {
    members = SplitText(text, separator);
  } else {
    SplitCharacters(text, &members);
  }
  // Members seen so far, as views into `members`, which no longer changes:
  // the same answer as IndexOfText over the distinct members, in one look-up
  // per member.
  std::unordered_set<std::string_view> seen;
  Text result;
  for (const Text& member : members) {
    if (!seen.insert(member).second) continue;
    result += member;
    result += separator;
  }
  return TextLeft(result, TextLength(result) - TextLength(separator));
}

std::int32_t SplitCharacters(const Text& text, TextArray* members) {
  TextArray found;
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size;) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t width = 1;
    if (i + 1 < size) {
      // 0x81 and up open a two-byte character; 0x80 stands alone.
      if (byte > 128 || (byte == '\r' && text[i + 1] == '\n')) width = 2;
    }
    found.emplace_back(text, i, width);
    i += width;
  }
  auto count = ArrayCount(found);
  if (members) *members = std::move(found);
  return count;
}

std::int32_t IndexOfText(const TextArray& array, const Text& text) {
  for (std::int32_t i = 1; i <= ArrayCount(array); ++i) {
    if (ArrayMember(array, i) == text) return i;
  }
  return -1;
}
