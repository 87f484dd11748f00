#include "http/headers.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct OneArgCase {
  const char* what;
  Text input;
  Text want;
};

TEST(NormalizeHeaderNames, Cases) {
  const OneArgCase cases[] = {
      {"two headers", "content-type: text/html\r\nx-requested-with:Value",
       "Content-Type: text/html\r\nX-Requested-With:Value"},
      {"empty and colonless lines dropped, trailing break gone",
       "accept: */*\r\n\r\nno colon here\r\nuser-AGENT: x\r\n",
       "Accept: */*\r\nUser-AGENT: x"},
      {"empty block", "", ""},
      {"no line has a colon", "a\r\nb\r\n\r\n", ""},
      {"leading blank", " host: h", " host: h"},
      {"empty name", ": v", ": v"},
      {"double dash", "a--b: 2", "A--B: 2"},
      {"leading dash", "-x: 3", "-X: 3"},
      {"trailing dash", "a-: 1", "A-: 1"},
      {"several trailing dashes", "a---: 1", "A---: 1"},
      {"name of dashes only", "--: 1", "--: 1"},
      {"dashes in the value untouched", "referer: a-b-c", "Referer: a-b-c"},
      {"letters after the colon untouched", "x-a: b-c: d-e", "X-A: b-c: d-e"},
      {"lone LF is an ordinary byte", "cache-control: no-cache\nx-y: z",
       "Cache-Control: no-cache\nx-y: z"},
      {"lone CR is an ordinary byte", "a: 1\rb-c: 2", "A: 1\rb-c: 2"},
      {"digits and upper case kept", "1-x-Y: v", "1-X-Y: v"},
      {"two-byte name left alone", "\xD6\xD0-a: 1", "\xD6\xD0-A: 1"},
      // A lead byte swallows the byte after it, dash or not.
      {"lead byte takes the dash", "\xD6-a: 1", "\xD6-a: 1"},
      {"only a colon", ":", ":"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalizeHeaderNames(c.input), c.want) << c.what;
  }
}

TEST(CapitalizeFirst, Cases) {
  const OneArgCase cases[] = {
      {"word", "accept", "Accept"},
      {"one letter", "x", "X"},
      {"digit first", "1abc", "1abc"},
      {"already upper", "Accept", "Accept"},
      {"two-byte characters", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"},  // 中文
      {"lone lead byte", "\xD6", "\xD6"},
      {"empty", "", ""},
      {"only the first byte", "aBc", "ABc"},
      {"bytes around the letters", "`abc", "`abc"},
      {"brace", "{abc", "{abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CapitalizeFirst(c.input), c.want) << c.what;
  }
}

struct MarkerCase {
  const char* what;
  Text text;
  Text left;
  Text right;
  std::int32_t start;
  bool ignoreCase;
  Text want;
};

TEST(TextBetween, Cases) {
  const MarkerCase cases[] = {
      {"user agent", "Accept: */*\r\nUser-Agent: Test/1.0\r\n",
       "User-Agent:", "\r\n", 0, false, " Test/1.0"},
      {"right marker only before left", "a=1; b=2", "b=", ";", 0, false, ""},
      {"quote markers", "name=\"value\" rest", "name=\x23\xD2\xFD\xBA\xC5",
       "\x23\xD2\xFD\xBA\xC5", 0, false, "value"},
      {"start position", "x[1][2]", "[", "]", 4, false, "2"},
      {"start before the text", "x[1][2]", "[", "]", -7, false, "1"},
      {"start beyond the text", "x[1][2]", "[", "]", 99, false, ""},
      {"ignoring case", "AbcYXdef", "abc", "x", 0, true, "Y"},
      {"case matters", "AbcYXdef", "abc", "x", 0, false, ""},
      {"nothing between", "ab", "a", "b", 0, false, ""},
      {"empty right marker", "abc", "a", "", 0, false, ""},
      {"empty left marker", "abc", "", "c", 0, false, "ab"},
      {"left marker missing", "abc", "x", "c", 0, false, ""},
      {"left marker at the very end", "abc", "c", "", 0, false, ""},
      {"empty text", "", "", "", 0, false, ""},
      {"not trimmed", "[ a ]", "[", "]", 0, false, " a "},
      {"first left, next right", "<1><2>", "<", ">", 0, false, "1"},
      {"left and right overlap", "aXa", "a", "a", 0, false, "X"},
      // The marker may not begin on the second byte of a character: the
      // 'A' inside the character below is no match.
      {"marker inside a character",
       "\xB0"
       "A-1-\xB0-A-2-",
       "A-", "-", 0, false, "2"},
      {"quote marker twice in one marker", "a=\"\"x\"\"",
       "\x23\xD2\xFD\xBA\xC5\x23\xD2\xFD\xBA\xC5", "\"", 0, false, "x"},
      {"quote marker is not in the text", "#\xD2\xFD\xBA\xC5v\"",
       "\x23\xD2\xFD\xBA\xC5", "\"", 0, false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase),
              c.want)
        << c.what;
  }
}

TEST(TextBetween, LeavesItsMarkersAlone) {
  const Text left = "name=\x23\xD2\xFD\xBA\xC5";
  const Text right = "\x23\xD2\xFD\xBA\xC5";
  Text leftCopy = left, rightCopy = right;
  EXPECT_EQ(TextBetween("name=\"v\"", leftCopy, rightCopy), "v");
  EXPECT_EQ(leftCopy, left);
  EXPECT_EQ(rightCopy, right);
}

TEST(HeaderValue, Cases) {
  const OneArgCase cases[] = {
      {"trimmed", "Accept:  */* ", "*/*"},
      {"only the first colon counts", "Host: a:80", "a:80"},
      {"no colon", "no colon", ""},
      {"nothing after the colon", "X:", ""},
      {"later lines kept", "A: 1\r\nB: 2", "1\r\nB: 2"},
      {"tabs stay", "A:\t1\t", "\t1\t"},
      {"full-width blanks trimmed", "A:\xA1\xA1v\xA1\xA1", "v"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HeaderValue(c.input), c.want) << c.what;
  }
}

TEST(TextBefore, Cases) {
  const MarkerCase cases[] = {
      {"cookie line", "Set-Cookie: a=1", ": ", "", 0, false, "Set-Cookie"},
      {"marker missing", "abc", "x", "", 0, false, ""},
      {"marker at position 1", ": x", ": ", "", 0, false, ""},
      {"first marker", "a-b-c", "-", "", 0, false, "a"},
      {"start position counts from 1 anyway", "a-b-c", "-", "", 3, false,
       "a-b"},
      {"negative start", "a-b-c", "-", "", -5, false, "a"},
      {"start beyond the text", "a-b-c", "-", "", 6, false, ""},
      {"ignoring case", "abXcd", "x", "", 0, true, "ab"},
      {"case matters", "abXcd", "x", "", 0, false, ""},
      {"empty text", "", ":", "", 0, false, ""},
      {"empty marker", "abc", "", "", 2, false, "a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBefore(c.text, c.left, c.start, c.ignoreCase), c.want)
        << c.what;
  }
}

// Several request threads cut their own header texts at the same time.
TEST(HeaderTexts, RunOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const Text block = "user-agent: T" + ToText(t) + "\r\nx-a-b: 1";
      for (int i = 0; i < 500; ++i) {
        Text normal = NormalizeHeaderNames(block);
        if (normal != "User-Agent: T" + ToText(t) + "\r\nX-A-B: 1" ||
            TrimBoth(TextBetween(normal + "\r\n", "User-Agent:", "\r\n")) !=
                "T" + ToText(t) ||
            TextBefore(normal, ": ") != "User-Agent") {
          ++failures[static_cast<std::size_t>(t)];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
