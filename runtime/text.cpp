#include "runtime/text.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Width of the character that starts at byte i: 2 for a lead byte (0x80 or
// above) that has a byte after it, else 1.
inline std::size_t CharWidth(std::string_view t, std::size_t i) {
  return (static_cast<unsigned char>(t[i]) >= 0x80 && i + 1 < t.size()) ? 2 : 1;
}

inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// The first character boundary at or after `target`, walking from boundary
// `pos`. Runs of plain ASCII are skipped eight bytes at a time.
inline std::size_t AdvanceTo(std::string_view t, std::size_t pos,
                             std::size_t target) {
  if (target > t.size()) target = t.size();
  while (pos < target) {
    if (target - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, t.data() + pos, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        pos += 8;
        continue;
      }
    }
    pos += CharWidth(t, pos);
  }
  return pos;
}

// Whether s stands at byte i of t, letters folded when ignoreCase. Folding
// applies to single-byte characters only: a second byte is compared as is.
bool MatchAt(std::string_view t, std::size_t i, std::string_view s,
             bool ignoreCase) {
  if (s.size() > t.size() - i) return false;
  if (!ignoreCase) return std::memcmp(t.data() + i, s.data(), s.size()) == 0;
  bool trail = false;
  for (std::size_t k = 0; k < s.size(); ++k) {
    auto a = static_cast<unsigned char>(t[i + k]);
    auto b = static_cast<unsigned char>(s[k]);
    if (trail) {
      if (a != b) return false;
      trail = false;
    } else {
      if (FoldAscii(a) != FoldAscii(b)) return false;
      trail = a >= 0x80;
    }
  }
  return true;
}

// The 0-based index of the first s in t that starts on a character boundary
// at or after `from`, or kNone. `cursor` must be a boundary not after `from`
// (0, or the end of an earlier match); the scan from it keeps the boundaries
// right without rescanning, so repeated calls stay linear overall.
std::size_t FindOnBoundary(std::string_view t, std::string_view s,
                           std::size_t cursor, std::size_t from,
                           bool ignoreCase) {
  std::size_t pos = AdvanceTo(t, cursor, from);
  if (pos >= t.size()) return kNone;
  if (s.empty()) return pos;
  if (!ignoreCase) {
    for (;;) {
      std::size_t candidate = t.find(s, pos);
      if (candidate == kNone) return kNone;
      pos = AdvanceTo(t, pos, candidate);
      if (pos == candidate) return candidate;
      // The candidate began on a second byte; go on from the next boundary.
    }
  }
  for (; pos < t.size(); pos += CharWidth(t, pos)) {
    if (MatchAt(t, pos, s, true)) return pos;
  }
  return kNone;
}

// The first character boundary at or after `end`, walking from boundary `at`
// (a match may end inside a two-byte character).
std::size_t NextBoundary(std::string_view t, std::size_t at, std::size_t end) {
  return AdvanceTo(t, at, end);
}

Text ChangeCase(const Text& t, bool upper) {
  Text out = t;
  for (std::size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 0x80) {
      ++i;  // never touch a character's second byte
    } else if (upper && c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 32);
    } else if (!upper && c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    }
  }
  return out;
}

std::atomic<FaultBoxFunction> fault_box{nullptr};

}  // namespace

std::int32_t TextLength(const Text& t) {
  return static_cast<std::int32_t>(t.size());
}

std::int32_t BytesLength(const Bytes& b) {
  return static_cast<std::int32_t>(b.size());
}

Text TextLeft(const Text& t, std::int32_t n) {
  if (n < 1) return Text();
  return t.substr(0, static_cast<std::size_t>(n));
}

Text TextRight(const Text& t, std::int32_t n) {
  if (n < 1) return Text();
  auto k = static_cast<std::size_t>(n);
  return k >= t.size() ? t : t.substr(t.size() - k);
}

Text TextMid(const Text& t, std::int32_t start, std::int32_t n) {
  if (n < 1 || start < 1 || static_cast<std::size_t>(start) > t.size()) {
    return Text();
  }
  return t.substr(static_cast<std::size_t>(start) - 1,
                  static_cast<std::size_t>(n));
}

Text CharFromCode(std::int32_t c) {
  auto byte = static_cast<char>(c & 0xFF);
  return byte == 0 ? Text() : Text(1, byte);
}

std::int32_t CharCode(const Text& t, std::int32_t pos) {
  if (pos < 1 || static_cast<std::size_t>(pos) > t.size()) return 0;
  return static_cast<std::int8_t>(t[static_cast<std::size_t>(pos) - 1]);
}

std::int32_t FindText(const Text& t, const Text& s, std::int32_t start,
                      bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > t.size()) return -1;
  std::size_t at =
      FindOnBoundary(t, s, 0, static_cast<std::size_t>(start) - 1, ignoreCase);
  return at == kNone ? -1 : static_cast<std::int32_t>(at + 1);
}

std::int32_t FindTextReverse(const Text& t, const Text& s, std::int32_t start,
                             bool ignoreCase) {
  if (start <= 1) return -1;
  std::string_view within(t);
  within =
      within.substr(0, std::min(t.size(), static_cast<std::size_t>(start) - 1));
  if (within.empty()) return -1;
  if (s.empty()) return 1;
  std::int32_t last = -1;
  std::size_t pos = 0;
  for (;;) {
    std::size_t at = FindOnBoundary(within, s, pos, pos, ignoreCase);
    if (at == kNone) return last;
    last = static_cast<std::int32_t>(at + 1);
    pos = at + CharWidth(within, at);
  }
}

Text ToUpper(const Text& t) { return ChangeCase(t, true); }
Text ToLower(const Text& t) { return ChangeCase(t, false); }

std::int32_t ToInt(const Text& t) {
  // Read full-width forms as their ASCII twins: A3 B0..A3 B9 are the digits,
  // A3 AB and A3 AD the signs, A1 A1 the ideographic space.
  std::size_t i = 0;
  auto next = [&](std::size_t* width) -> int {
    if (i >= t.size()) return -1;
    auto c = static_cast<unsigned char>(t[i]);
    if (c >= 0x80 && i + 1 < t.size()) {
      auto d = static_cast<unsigned char>(t[i + 1]);
      *width = 2;
      if (c == 0xA3 && d >= 0xB0 && d <= 0xB9) return '0' + (d - 0xB0);
      if (c == 0xA3 && d == 0xAB) return '+';
      if (c == 0xA3 && d == 0xAD) return '-';
      if (c == 0xA1 && d == 0xA1) return ' ';
      return 0x100;  // some other character
    }
    *width = 1;
    return c;
  };
  std::size_t width = 1;
  int c = next(&width);
  while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f') {
    i += width;
    c = next(&width);
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    i += width;
    c = next(&width);
  }
  std::int64_t value = 0;
  while (c >= '0' && c <= '9') {
    if (value <= std::int64_t{1} << 32) value = value * 10 + (c - '0');
    i += width;
    c = next(&width);
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (value < std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(value);
}

Text TrimBoth(const Text& t) {
  std::string_view v(t);
  auto blank_at = [&](std::size_t i) -> std::size_t {
    if (v[i] == ' ') return 1;
    if (i + 1 < v.size() && static_cast<unsigned char>(v[i]) == 0xA1 &&
        static_cast<unsigned char>(v[i + 1]) == 0xA1) {
      return 2;
    }
    return 0;
  };
  std::size_t begin = 0;
  while (begin < v.size()) {
    std::size_t w = blank_at(begin);
    if (w == 0) break;
    begin += w;
  }
  // Walk forward by characters so a trailing A1 A1 is only taken for a blank
  // when it really is one character.
  std::size_t end = begin;
  for (std::size_t i = begin; i < v.size();) {
    std::size_t w = blank_at(i);
    if (w == 0) {
      w = CharWidth(v, i);
      end = i + w;
    }
    i += w;
  }
  return Text(v.substr(begin, end - begin));
}

Text ReplaceText(const Text& t, const Text& old, const Text& new_text,
                 std::int32_t start, std::int32_t count, bool caseSensitive) {
  if (t.empty() || old.empty()) return t;
  if (start < 1) start = 1;
  std::size_t from = static_cast<std::size_t>(start) - 1;
  if (from >= t.size() || count == 0) return t;
  Text out;
  out.reserve(t.size());
  std::size_t copied = 0;
  std::size_t cursor = 0;
  std::int32_t done = 0;
  for (;;) {
    if (count >= 0 && done >= count) break;
    std::size_t at = FindOnBoundary(t, old, cursor, from, !caseSensitive);
    if (at == kNone) break;
    out.append(t, copied, at - copied);
    out.append(new_text);
    copied = from = at + old.size();
    cursor = NextBoundary(t, at, from);
    ++done;
  }
  out.append(t, copied, Text::npos);
  return out;
}

TextArray SplitText(const Text& t, const Text& sep, std::int32_t limit) {
  TextArray pieces;
  if (t.empty() || limit == 0) return pieces;
  if (sep.empty()) {
    pieces.push_back(t);
    return pieces;
  }
  // Hands each piece's start and length to `take`; returns the piece count.
  auto walk = [&](auto take) {
    std::size_t count = 0, begin = 0, cursor = 0;
    while (limit < 0 || count < static_cast<std::size_t>(limit)) {
      std::size_t at = FindOnBoundary(t, sep, cursor, begin, false);
      if (at == kNone) {
        // The rest is the last piece, unless a separator ended the text.
        if (begin < t.size()) take(begin, t.size() - begin), ++count;
        break;
      }
      take(begin, at - begin), ++count;
      begin = at + sep.size();
      cursor = NextBoundary(t, at, begin);
    }
    return count;
  };
  // Count first so the array is allocated once, at its final size.
  pieces.reserve(walk([](std::size_t, std::size_t) {}));
  walk([&](std::size_t at, std::size_t n) { pieces.emplace_back(t, at, n); });
  return pieces;
}

Text BlankText(std::int32_t n) {
  return n < 1 ? Text() : Text(static_cast<std::size_t>(n), ' ');
}

Bytes BlankBytes(std::int32_t n) {
  return n < 1 ? Bytes() : Bytes(static_cast<std::size_t>(n), 0);
}

Text ToText(std::int64_t n) { return std::to_string(n); }

Text ToText(const Bytes& b) { return ToText(b.data(), b.size()); }

Text ToText(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return Text();
  const void* zero = std::memchr(data, 0, size);
  std::size_t n = zero ? static_cast<std::size_t>(
                             static_cast<const std::uint8_t*>(zero) - data)
                       : size;
  return Text(reinterpret_cast<const char*>(data), n);
}

Bytes ToBytes(const Text& t) { return Bytes(t.begin(), t.end()); }

Bytes BytesLeft(const Bytes& b, std::int32_t n) {
  if (n < 1) return Bytes();
  auto k = std::min(b.size(), static_cast<std::size_t>(n));
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(k));
}

Bytes BytesMid(const Bytes& b, std::int32_t start, std::int32_t n) {
  if (start < 1) start = 1;
  auto from = static_cast<std::size_t>(start) - 1;
  if (n < 1 || from >= b.size()) return Bytes();
  auto k = std::min(b.size() - from, static_cast<std::size_t>(n));
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + k));
}

void AppendBytes(Bytes& to, const Bytes& from) {
  to.insert(to.end(), from.begin(), from.end());
}

double RealRemainder(double dividend, double divisor) {
  return std::fmod(dividend, divisor);
}

std::int32_t ArrayCount(const TextArray& a) {
  return static_cast<std::int32_t>(a.size());
}

void ArrayAppend(TextArray& a, const Text& t) { a.push_back(t); }

const Text& ArrayMember(const TextArray& a, std::int32_t i) {
  if (i < 1 || static_cast<std::size_t>(i) > a.size()) {
    char why[96];
    std::snprintf(why, sizeof why,
                  "array member %d is outside the array of %zu members", i,
                  a.size());
    FatalFault(why);
  }
  return a[static_cast<std::size_t>(i) - 1];
}

void FatalFault(const char* why) {
  // Write with the C stream alone: this may run when memory is exhausted.
  std::fprintf(stderr, "yarrowlit-kestrune2019: fatal fault: %s\n", why);
  std::fflush(stderr);
  if (FaultBoxFunction show = fault_box.load()) show(why);
  std::_Exit(-1);
}

void SetFaultBox(FaultBoxFunction show) { fault_box.store(show); }

void InstallAllocationFaultHandler() {
  std::set_new_handler([] { FatalFault("out of memory"); });
}
