#include "http/cookies.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct MergeCase {
  const char* what;
  Text sent;
  Text received;
  Text want;           // the result, and the sent list afterwards
  Text receivedAfter;  // the received list afterwards
};

TEST(MergeCookies, Cases) {
  const MergeCase cases[] = {
      {"received wins, sent rest follows", "a=1; b=2", "b=3; c=4",
       "b=3; c=4; a=1", "b=3; c=4"},
      {"deletion shuts out the sent pair", "a=1; b=2;", "a=deleted; c=3;",
       "c=3; b=2", "a=deleted; c=3; "},
      {"only a deletion", "a=1", "a=deleted", "", "a=deleted"},
      {"repeated received pairs", "", "x=1; x=1; y=2", "x=1; y=2",
       "x=1; x=1; y=2"},
      {"first of two sent pairs of one name", "a=1; a=2; b=5", "", "a=1; b=5",
       ""},
      {"names differ in case", "a=1", "A=2", "A=2; a=1", "A=2"},
      {"blanks trimmed", "  k=v ", " k=w; z=deleted", "k=w", "k=w; z=deleted"},
      {"empty pair survives", "a=1; ; b=2", "", "a=1; ; b=2", ""},
      {"final semicolon after an empty pair", "a=1; ;", "", "a=1", ""},
      {"final semicolon", "x;", "", "x", ""},
      {"two empty lists", "", "", "", ""},
      {"sent deletion dropped too", "a=deleted; b=1", "", "b=1", ""},
      {"received pairs of one name all stay", "", "a=1; a=2", "a=1; a=2",
       "a=1; a=2"},
      {"deletion mark is case-sensitive", "a=1", "a=DELETED", "a=DELETED",
       "a=DELETED"},
      {"deleted without its =", "", "a=undeleted", "a=undeleted",
       "a=undeleted"},
      {"value ending in =deleted", "a=1", "a=x=deleted", "", "a=x=deleted"},
      {"name compared trimmed", "a =1", "a=2", "a=2", "a=2"},
      {"received blank and semicolon", "", " y=1 ; ", "y=1 ", "y=1 ; "},
      {"pair without =", "flag; a=1", "flag", "flag; a=1", "flag"},
      {"semicolon without blank is no separator", "a=1;b=2", "a=3", "a=3",
       "a=3"},
      // The empty pair stays between the two x=1, so the repeat is only seen
      // after the join, and the separator before it is left at the end.
      {"repeat after an empty received pair", "", "x=1; ; x=1", "x=1; ",
       "x=1; ; x=1"},
      {"two-byte value", "n=\xD6\xD0", "m=\xCE\xC4", "m=\xCE\xC4; n=\xD6\xD0",
       "m=\xCE\xC4"},
  };
  for (const auto& c : cases) {
    Text sent = c.sent;
    Text received = c.received;
    EXPECT_EQ(MergeCookies(&sent, &received), c.want) << c.what;
    EXPECT_EQ(sent, c.want) << c.what;
    EXPECT_EQ(received, c.receivedAfter) << c.what;
  }
}

TEST(MergeCookies, MissingListsReadAsEmpty) {
  Text sent = "a=1";
  Text received = "b=2;";
  EXPECT_EQ(MergeCookies(&sent, nullptr), "a=1");
  EXPECT_EQ(sent, "a=1");
  EXPECT_EQ(MergeCookies(nullptr, &received), "b=2");
  EXPECT_EQ(received, "b=2; ");
  EXPECT_EQ(MergeCookies(nullptr, nullptr), "");
}

TEST(MergeCookies, SameListAsBothArguments) {
  Text list = "a=1; a=2;";
  EXPECT_EQ(MergeCookies(&list, &list), "a=1; a=2");
  EXPECT_EQ(list, "a=1; a=2");
}

// A server that sets thousands of cookies: the merge keeps order and drops
// repeats however long the lists are.
TEST(MergeCookies, LongLists) {
  Text sent, received, want;
  for (int i = 0; i < 20000; ++i) {
    sent += "s" + ToText(i) + "=" + ToText(i) + "; ";
    received += "r" + ToText(i % 1000) + "=1; ";
  }
  for (int i = 0; i < 1000; ++i) want += "r" + ToText(i) + "=1; ";
  for (int i = 0; i < 20000; ++i) {
    want += "s" + ToText(i) + "=" + ToText(i) + "; ";
  }
  want.resize(want.size() - 2);
  EXPECT_EQ(MergeCookies(&sent, &received), want);
}

struct NameCase {
  const char* what;
  Text pair;
  Text want;
};

TEST(CookieName, Cases) {
  const NameCase cases[] = {
      {"plain", "a=1", "a"},
      {"trimmed", " b = 2", "b"},
      {"no =", "flag", "flag"},
      {"no = but blanks", " flag ", "flag"},
      {"empty name", "=x", ""},
      {"first = counts", "c=d=e", "c"},
      {"empty pair", "", ""},
      {"full-width blank trimmed", "\xA1\xA1k=v", "k"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CookieName(c.pair), c.want) << c.what;
  }
}

TEST(ContainsCookieName, Cases) {
  const TextArray pairs = {"a=1", " b=2"};
  EXPECT_TRUE(ContainsCookieName(pairs, "b"));
  EXPECT_TRUE(ContainsCookieName(pairs, "a"));
  EXPECT_FALSE(ContainsCookieName(pairs, "B"));
  EXPECT_FALSE(ContainsCookieName(pairs, "a=1"));
  EXPECT_FALSE(ContainsCookieName(TextArray(), ""));
  EXPECT_TRUE(ContainsCookieName(TextArray{""}, ""));
}

struct UniqueCase {
  const char* what;
  Text text;
  Text separator;
  bool separatorMode;
  Text want;
};

TEST(SplitUnique, Cases) {
  const UniqueCase cases[] = {
      {"pairs", "a; b; a; c; b", "; ", true, "a; b; c"},
      {"characters with a separator", "banana", ",", false, "b,a,n"},
      {"characters run together", "banana", "", false, "ban"},
      {"empty text, pairs", "", "; ", true, ""},
      {"empty text, characters", "", ",", false, ""},
      {"two-byte characters",
       "\xD6\xD0"
       "a\xD6\xD0",
       "|", false, "\xD6\xD0|a"},
      {"CR LF is one character", "\r\n\r\n\r", "", false, "\r\n\r"},
      {"empty members kept once", "a; ; ; b", "; ", true, "a; ; b"},
      {"empty separator in separator mode", "aa", "", true, "aa"},
      {"case matters", "a; A", "; ", true, "a; A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitUnique(c.text, c.separator, c.separatorMode), c.want)
        << c.what;
  }
}

struct CharactersCase {
  const char* what;
  Text text;
  TextArray want;
};

TEST(SplitCharacters, Cases) {
  const CharactersCase cases[] = {
      {"mixed", "a\xD6\xD0\r\nb\r", {"a", "\xD6\xD0", "\r\n", "b", "\r"}},
      {"empty", "", {}},
      {"0x80 stands alone",
       "\x80"
       "a",
       {"\x80", "a"}},
      {"0x81 opens a pair",
       "\x81"
       "a",
       {"\x81"
        "a"}},
      {"lead byte at the end", "a\xD6", {"a", "\xD6"}},
      {"LF CR is two", "\n\r", {"\n", "\r"}},
      {"zero byte is a character", Text("a\0b", 3), {"a", Text(1, '\0'), "b"}},
  };
  for (const auto& c : cases) {
    TextArray members = {"left over"};
    EXPECT_EQ(SplitCharacters(c.text, &members), ArrayCount(c.want)) << c.what;
    EXPECT_EQ(members, c.want) << c.what;
  }
  EXPECT_EQ(SplitCharacters("ab", nullptr), 2);
}

TEST(IndexOfText, Cases) {
  const TextArray aba = {"a", "b", "a"};
  EXPECT_EQ(IndexOfText(aba, "a"), 1);
  EXPECT_EQ(IndexOfText(aba, "b"), 2);
  EXPECT_EQ(IndexOfText(aba, "c"), -1);
  EXPECT_EQ(IndexOfText({"a"}, "A"), -1);
  EXPECT_EQ(IndexOfText({}, ""), -1);
  EXPECT_EQ(IndexOfText({"x", ""}, ""), 2);
}

// Request threads merge their own cookie lists at the same time.
TEST(MergeCookies, RunsOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 300; ++i) {
        Text sent = "a=" + ToText(t) + "; b=2;";
        Text received = "a=deleted; c=" + ToText(i) + ";";
        Text want = "c=" + ToText(i) + "; b=2";
        if (MergeCookies(&sent, &received) != want || sent != want) {
          ++failures[static_cast<std::size_t>(t)];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
