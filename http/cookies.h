// Merging the cookie list a request sent with the cookies its response set,
// and the small list routines beneath it. Pure functions over their
// arguments; any thread.
#ifndef YK_HTTP_COOKIES_H_
#define YK_HTTP_COOKIES_H_

#include <cstdint>

#include "runtime/text.h"

// Merges `received` over `sent` (received pairs first, "=deleted" removes a
// name, repeats dropped). Returns the merged list and also leaves it in
// *sent; *received is left trimmed, with a blank after a final ";".
Text MergeCookies(Text* sent, Text* received);
// The text before the pair's first "=", trimmed (the whole pair without one).
Text CookieName(const Text& pair);
bool ContainsCookieName(const TextArray& pairs, const Text& name);
// The distinct members in order of first appearance, joined by separator.
// separatorMode on: members are the pieces between separators; off: the
// characters of the text.
Text SplitUnique(const Text& text, const Text& separator, bool separatorMode);
// Replaces *members with the characters of text (a two-byte character and a
// CR LF pair each count as one); returns their number.
std::int32_t SplitCharacters(const Text& text, TextArray* members);
// The 1-based index of the first member equal to text, or -1.
std::int32_t IndexOfText(const TextArray& array, const Text& text);

#endif  // YK_HTTP_COOKIES_H_
