#include "runtime/text.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// GBK samples. "\xD6\xD0" is 中; its second byte D0 is no ASCII letter, but
// "\xB0\x41" is a real GBK character whose second byte is 'A', and
// "\xB0\x2C" one whose second byte is ','.
const Text kZhong = "\xD6\xD0";            // 中
const Text kLeadA = "\xB0\x41";            // a character ending in 'A'
const Text kLeadComma = "\x81\x2C";        // a character ending in ','
const Text kFullSpace = "\xA1\xA1";        // 　 (ideographic space)

TEST(TextTest, LeftRightMidBoundaries) {
  struct Case {
    const char* what;
    Text got;
    Text want;
  } cases[] = {
      {"left 0", TextLeft("abc", 0), ""},
      {"left -1", TextLeft("abc", -1), ""},
      {"left 2", TextLeft("abc", 2), "ab"},
      {"left past end", TextLeft("abc", 9), "abc"},
      {"right 0", TextRight("abc", 0), ""},
      {"right 1", TextRight("abc", 1), "c"},
      {"right past end", TextRight("abc", 4), "abc"},
      {"mid from 1", TextMid("abcd", 1, 2), "ab"},
      {"mid to end", TextMid("abcd", 3, 9), "cd"},
      {"mid last byte", TextMid("abcd", 4, 1), "d"},
      {"mid start 0", TextMid("abcd", 0, 2), ""},
      {"mid start past end", TextMid("abcd", 5, 1), ""},
      {"mid n 0", TextMid("abcd", 2, 0), ""},
      {"mid empty text", TextMid("", 1, 1), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(TextTest, BytesPieces) {
  Bytes b{1, 0, 3, 4};
  EXPECT_EQ(BytesLeft(b, 2), (Bytes{1, 0}));
  EXPECT_EQ(BytesLeft(b, 0), Bytes());
  EXPECT_EQ(BytesLeft(b, 10), b);
  EXPECT_EQ(BytesMid(b, 0, 2), (Bytes{1, 0})) << "start below 1 counts as 1";
  EXPECT_EQ(BytesMid(b, -7, 1), (Bytes{1}));
  EXPECT_EQ(BytesMid(b, 3, 9), (Bytes{3, 4}));
  EXPECT_EQ(BytesMid(b, 5, 1), Bytes());
  EXPECT_EQ(BytesMid(b, 2, 0), Bytes());
  EXPECT_EQ(BytesLength(b), 4);
  EXPECT_EQ(ToText(b), "\x01") << "stops at the first zero byte";
  EXPECT_EQ(ToText(Bytes{'h', 'i'}), "hi");
  EXPECT_EQ(ToBytes("a\xD6"), (Bytes{'a', 0xD6}));
  Bytes joined{1};
  AppendBytes(joined, Bytes{2, 3});
  EXPECT_EQ(joined, (Bytes{1, 2, 3}));
}

TEST(TextTest, CharCodes) {
  EXPECT_EQ(CharFromCode(65), "A");
  EXPECT_EQ(CharFromCode(0), "");
  EXPECT_EQ(CharFromCode(0xD6), "\xD6");
  EXPECT_EQ(CharCode("A"), 65);
  EXPECT_EQ(CharCode(kZhong), -42) << "signed byte";
  EXPECT_EQ(CharCode("ab", 2), 'b');
  EXPECT_EQ(CharCode("ab", 3), 0);
  EXPECT_EQ(CharCode("ab", 0), 0);
  EXPECT_EQ(CharCode(""), 0);
}

TEST(TextTest, FindText) {
  struct Case {
    const char* what;
    Text t, s;
    std::int32_t start;
    bool ignoreCase;
    std::int32_t want;
  } cases[] = {
      {"plain", "abcabc", "bc", 1, false, 2},
      {"from start", "abcabc", "bc", 3, false, 5},
      {"start below 1", "abcabc", "bc", -4, false, 2},
      {"start past end", "abc", "c", 4, false, -1},
      {"missing", "abc", "x", 1, false, -1},
      {"case differs", "ABC", "b", 1, false, -1},
      {"ignore case", "ABC", "b", 1, true, 2},
      {"empty needle", "abc", "", 1, false, 1},
      {"empty needle from 3", "abc", "", 3, false, 3},
      {"empty needle empty text", "", "", 1, false, -1},
      {"needle longer", "ab", "abc", 1, false, -1},
      // 'A' as the second byte of a double-byte character is not an 'A'.
      {"second byte skipped", kLeadA + "A", "A", 1, false, 3},
      {"second byte only", kLeadA, "A", 1, false, -1},
      {"second byte ignore case", kLeadA + "a", "a", 1, true, 3},
      {"second byte not folded", kLeadA, "a", 1, true, -1},
      {"double-byte needle", "x" + kZhong + "y", kZhong, 1, false, 2},
      {"after double-byte", kZhong + "ab", "b", 1, false, 4},
      // A start inside a character still steps by characters from byte 1.
      {"start on second byte", kLeadA + "A", "A", 2, false, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.t, c.s, c.start, c.ignoreCase), c.want) << c.what;
  }
}

TEST(TextTest, FindTextReverse) {
  struct Case {
    const char* what;
    Text t, s;
    std::int32_t start;
    std::int32_t want;
  } cases[] = {
      {"whole text", "a:b:c", ":", kWholeText, 4},
      {"within first 3 bytes", "a:b:c", ":", 4, 2},
      {"needle must lie wholly within", "abab", "ab", 4, 1},
      {"exactly fits", "abab", "ab", 5, 3},
      {"start 1 finds nothing", "abab", "a", 1, -1},
      {"start 0 finds nothing", "abab", "a", 0, -1},
      {"missing", "abc", "x", kWholeText, -1},
      {"second byte skipped", "A" + kLeadA, "A", kWholeText, 1},
      {"double-byte needle", kZhong + "x" + kZhong, kZhong, kWholeText, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTextReverse(c.t, c.s, c.start), c.want) << c.what;
  }
  EXPECT_EQ(FindTextReverse("xAx", "a", kWholeText, true), 2);
}

TEST(TextTest, Casing) {
  EXPECT_EQ(ToUpper("abc-XyZ 1"), "ABC-XYZ 1");
  EXPECT_EQ(ToLower("ABC-XyZ 1"), "abc-xyz 1");
  // The second byte of \xB0\x61 is 'a' and must stay.
  EXPECT_EQ(ToUpper("\xB0\x61" "a"), "\xB0\x61" "A");
  EXPECT_EQ(ToLower(kLeadA + "A"), kLeadA + "a");
}

TEST(TextTest, ToInt) {
  const Text fullDigits = "\xA3\xB1\xA3\xB2";  // １２
  struct Case {
    const char* what;
    Text t;
    std::int32_t want;
  } cases[] = {
      {"plain", "2721", 2721},
      {"leading blanks", "  \t42x", 42},
      {"sign", "-17", -17},
      {"plus", "+5", 5},
      {"no digits", "abc", 0},
      {"empty", "", 0},
      {"sign alone", "-", 0},
      {"stops at other byte", "12a34", 12},
      {"full-width digits", fullDigits, 12},
      {"full-width minus", "\xA3\xAD" + fullDigits, -12},
      {"full-width plus", "\xA3\xAB" "7", 7},
      {"full-width space", kFullSpace + "9", 9},
      {"mixed digits", "1\xA3\xB2" "3", 123},
      {"other double-byte stops", "5" + kZhong + "6", 5},
      {"message text", "\xC6\xF0\xCA\xBC", 0},
      {"clamped high", "99999999999", 2147483647},
      {"clamped low", "-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ToInt(c.t), c.want) << c.what;
}

TEST(TextTest, TrimBoth) {
  struct Case {
    const char* what;
    Text t, want;
  } cases[] = {
      {"spaces", "  a b  ", "a b"},
      {"keeps tab CR LF", "\ta\r\n", "\ta\r\n"},
      {"space before tab", " \ta ", "\ta"},
      {"full-width", kFullSpace + "a" + kFullSpace + " ", "a"},
      {"all blank", "  " + kFullSpace, ""},
      {"empty", "", ""},
      // B0 A1 is one character; the lone A1 after it is not a blank.
      {"A1 A1 across characters", "a\xB0\xA1\xA1", "a\xB0\xA1\xA1"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimBoth(c.t), c.want) << c.what;
}

TEST(TextTest, ReplaceText) {
  struct Case {
    const char* what;
    Text got, want;
  } cases[] = {
      {"all", ReplaceText("a-b-c", "-", "+"), "a+b+c"},
      {"delete", ReplaceText("a-b-c", "-"), "abc"},
      {"from start", ReplaceText("a-b-c", "-", "+", 3), "a-b+c"},
      {"count", ReplaceText("a-b-c-d", "-", "+", 1, 2), "a+b+c-d"},
      {"start and count", ReplaceText("-a-b-c", "-", "", 2, 1), "-ab-c"},
      {"count 0", ReplaceText("a-b", "-", "+", 1, 0), "a-b"},
      {"case sensitive", ReplaceText("aAa", "a", "x"), "xAx"},
      {"ignore case", ReplaceText("aAa", "a", "x", 1, -1, false), "xxx"},
      {"empty old", ReplaceText("abc", "", "x"), "abc"},
      {"empty text", ReplaceText("", "a", "x"), ""},
      {"longer new", ReplaceText("aa", "a", "bcd"), "bcdbcd"},
      {"no rescan of new", ReplaceText("aa", "a", "aa"), "aaaa"},
      {"second byte skipped", ReplaceText(kLeadA + "A", "A", "z"),
       kLeadA + "z"},
      {"cookie strip",
       ReplaceText("SET-COOKIE: a=1", "Set-Cookie:", "", 1, -1, false),
       " a=1"},
      {"start past end", ReplaceText("abc", "c", "x", 9), "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(TextTest, SplitText) {
  struct Case {
    const char* what;
    Text t, sep;
    std::int32_t limit;
    TextArray want;
  } cases[] = {
      {"plain", "a,b,c", ",", -1, {"a", "b", "c"}},
      {"separator at both ends", ",a,b,", ",", -1, {"", "a", "b"}},
      {"inner empty kept", "a,,b", ",", -1, {"a", "", "b"}},
      {"two at the end", "a,,", ",", -1, {"a", ""}},
      {"only a separator", ",", ",", -1, {""}},
      {"empty text", "", ",", -1, {}},
      {"empty separator", "abc", "", -1, {"abc"}},
      {"no separator", "abc", ",", -1, {"abc"}},
      {"limit", "a,b,c,d", ",", 2, {"a", "b"}},
      {"limit past count", "a,b", ",", 5, {"a", "b"}},
      {"limit 0", "a,b", ",", 0, {}},
      {"CR LF lines", "a\r\n\r\nb\r\n", "\r\n", -1, {"a", "", "b"}},
      {"multi-byte separator", "a; b; c", "; ", -1, {"a", "b", "c"}},
      {"second byte not a separator", kLeadComma + ",x", ",", -1,
       {kLeadComma, "x"}},
      {"double-byte separator", "a" + kZhong + "b", kZhong, -1, {"a", "b"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitText(c.t, c.sep, c.limit), c.want) << c.what;
  }
}

TEST(TextTest, BlanksNumbersEquality) {
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankText(-2), "");
  EXPECT_EQ(BlankBytes(2), (Bytes{0, 0}));
  EXPECT_EQ(BlankBytes(-1), Bytes());
  EXPECT_EQ(ToText(std::int64_t{-42}), "-42");
  EXPECT_EQ(ToText(std::int64_t{0}), "0");
  EXPECT_EQ(Text() + "a" + Text("b"), "ab");
  EXPECT_TRUE(Text() == Text(""));
  EXPECT_DOUBLE_EQ(RealRemainder(-7, 2), -1);
  EXPECT_DOUBLE_EQ(RealRemainder(7, -2), 1);
  EXPECT_EQ(TextLength(kZhong + "a"), 3);
}

TEST(TextTest, Arrays) {
  TextArray a;
  Text t = "x";
  ArrayAppend(a, t);
  t = "changed";
  ArrayAppend(a, "y");
  EXPECT_EQ(ArrayCount(a), 2);
  EXPECT_EQ(ArrayMember(a, 1), "x") << "append copies";
  EXPECT_EQ(ArrayMember(a, 2), "y");
}

TEST(TextDeathTest, MemberOutsideArrayIsFatal) {
  TextArray a{"only"};
  for (std::int32_t i : {0, 2, -1}) {
    EXPECT_EXIT(ArrayMember(a, i), ::testing::ExitedWithCode(255),
                "fatal fault: array member .* outside the array of 1")
        << i;
  }
}

TEST(TextDeathTest, FailedAllocationIsFatal) {
  EXPECT_EXIT(
      {
        InstallAllocationFaultHandler();
        std::new_handler handler = std::get_new_handler();
        handler();
      },
      ::testing::ExitedWithCode(255), "fatal fault: out of memory");
}

// The routines share nothing: many threads splitting and searching the same
// constant text must each get the whole, right answer.
TEST(TextTest, ReentrantAcrossThreads) {
  Text list;
  for (int i = 0; i < 2000; ++i) list += "line" + ToText(i) + "\r\n";
  std::vector<std::thread> threads;
  std::vector<int> ok(8, 0);
  for (int k = 0; k < 8; ++k) {
    threads.emplace_back([&, k] {
      for (int round = 0; round < 20; ++round) {
        TextArray lines = SplitText(list, "\r\n");
        bool good = lines.size() == 2000 && lines[1999] == "line1999" &&
                    FindText(list, "line1500", 1) > 0 &&
                    ToUpper(lines[7]) == "LINE7";
        ok[k] += good ? 1 : 0;
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int k = 0; k < 8; ++k) EXPECT_EQ(ok[k], 20) << "thread " << k;
}

}  // namespace
