// Text, Bytes and TextArray, the value types every routine of the program
// passes around, with the operations on them and the fatal-fault exit.
// Every operation is a pure function over its arguments and may run on any
// number of threads at once; only FatalFault and the fault-box hook are
// process-wide.
//
// Text is a byte string in code page 936 (GBK). Positions and lengths count
// bytes from 1. A byte of 0x80 or above opens a two-byte character: finding,
// splitting, replacing and casing step over it as one, so a match never
// starts on the second byte of a character.
#ifndef YK_RUNTIME_TEXT_H_
#define YK_RUNTIME_TEXT_H_

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
// Numbered from 1 through ArrayMember; appending copies the text.
using TextArray = std::vector<Text>;

// ---- lengths and pieces ----------------------------------------------------

std::int32_t TextLength(const Text& t);
std::int32_t BytesLength(const Bytes& b);

// The first / last min(n, length) bytes; n < 1 gives the empty text.
Text TextLeft(const Text& t, std::int32_t n);
Text TextRight(const Text& t, std::int32_t n);
// Up to n bytes from position start; empty when start lies outside
// 1..length or n < 1.
Text TextMid(const Text& t, std::int32_t start, std::int32_t n);

// A one-byte text of the low byte of c; a zero byte gives the empty text.
Text CharFromCode(std::int32_t c);
// The byte at pos as a signed value (-128..127); 0 outside 1..length.
std::int32_t CharCode(const Text& t, std::int32_t pos = 1);

// ---- finding ---------------------------------------------------------------

// Position of the first s at or after start (below 1 counts as 1), -1 if
// none. An empty s is found at the start when the stretch searched is not
// empty. ignoreCase folds ASCII letters only, never a character's second
// byte.
std::int32_t FindText(const Text& t, const Text& s, std::int32_t start = 1,
                      bool ignoreCase = false);

// Passed as FindTextReverse's start to search the whole text.
inline constexpr std::int32_t kWholeText =
    std::numeric_limits<std::int32_t>::max();

// Position of the last s lying wholly within the first start - 1 bytes of t
// (all of t for kWholeText; nothing when start <= 1), -1 if none.
std::int32_t FindTextReverse(const Text& t, const Text& s,
                             std::int32_t start = kWholeText,
                             bool ignoreCase = false);

// ---- case, numbers, blanks -------------------------------------------------

Text ToUpper(const Text& t);  // ASCII letters only
Text ToLower(const Text& t);  // ASCII letters only

// White space, an optional sign, then decimal digits up to the first other
// byte; full-width digits, signs and the full-width space read as ASCII.
// No digits gives 0; values beyond int32 are clamped.
std::int32_t ToInt(const Text& t);

// Removes leading and trailing spaces (0x20) and full-width spaces (A1 A1);
// tab, CR and LF stay.
Text TrimBoth(const Text& t);

// Bytes before start are copied; from there every old is replaced by new_text,
// left to right, at most count times (count < 0: all). An empty t or old
// gives t unchanged.
Text ReplaceText(const Text& t, const Text& old, const Text& new_text = Text(),
                 std::int32_t start = 1, std::int32_t count = -1,
                 bool caseSensitive = true);

// The pieces of t between separators. Inner empty pieces are kept; a
// separator at the very end makes no empty last piece; an empty t gives no
// pieces; an empty sep gives t whole. limit >= 0 keeps the first limit pieces.
TextArray SplitText(const Text& t, const Text& sep, std::int32_t limit = -1);

Text BlankText(std::int32_t n);    // n spaces; n < 1 gives empty
Bytes BlankBytes(std::int32_t n);  // n zero bytes; n < 1 gives empty

// ---- conversions -----------------------------------------------------------

Text ToText(std::int64_t n);  // decimal, "-" for negatives
Text ToText(const Bytes& b);  // the bytes up to the first zero byte
// The same for a constant block of bytes (a built-in data file).
Text ToText(const std::uint8_t* data, std::size_t size);
inline Text ToText(std::span<const std::uint8_t> b) {
  return ToText(b.data(), b.size());
}
Bytes ToBytes(const Text& t);

// As TextLeft / TextMid, but a start below 1 counts as 1.
Bytes BytesLeft(const Bytes& b, std::int32_t n);
Bytes BytesMid(const Bytes& b, std::int32_t start, std::int32_t n);
void AppendBytes(Bytes& to, const Bytes& from);

// Remainder of two reals, with the dividend's sign.
double RealRemainder(double dividend, double divisor);

// ---- arrays ----------------------------------------------------------------

std::int32_t ArrayCount(const TextArray& a);
void ArrayAppend(TextArray& a, const Text& t);
// Member i, 1 <= i <= count; any other i is a fatal fault.
const Text& ArrayMember(const TextArray& a, std::int32_t i);

// ---- fatal faults ----------------------------------------------------------

// Reports why on standard error and in the fault box (when one is set), then
// ends the process with exit code -1 at once. Safe to call from any thread.
[[noreturn]] void FatalFault(const char* why);

// The window backend installs a function that shows `message` in an error
// box; without one, FatalFault writes to standard error only.
using FaultBoxFunction = void (*)(const char* message);
void SetFaultBox(FaultBoxFunction show);

// Makes a failed allocation (operator new) a fatal fault.
void InstallAllocationFaultHandler();

#endif  // YK_RUNTIME_TEXT_H_
