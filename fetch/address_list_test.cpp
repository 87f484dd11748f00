#include "fetch/address_list.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>

#include "fetch/random_pick.h"

namespace {

constexpr std::int32_t kLineCount = 2395;

std::string_view ListView() {
  return {reinterpret_cast<const char*>(AddressList.data()),
          AddressList.size()};
}

bool IsLowerHex(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Undoes the list's encoding; empty when anything but %3A and %2F is
// escaped, or when a ':' or '/' stands unescaped.
std::string Decode(std::string_view encoded) {
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    char c = encoded[i];
    if (c == ':' || c == '/') return std::string();
    if (c != '%') {
      out += c;
      continue;
    }
    std::string_view escape = encoded.substr(i, 3);
    if (escape == "%3A") {
      out += ':';
    } else if (escape == "%2F") {
      out += '/';
    } else {
      return std::string();
    }
    i += 2;
  }
  return out;
}

// The picture's path: 16 lower-case hex digits, or a numbered folder, then
// three hex groups joined by hyphens, then ".jpg". Returns 1 or 2 for the
// kind, 0 when neither.
int PathKind(std::string_view path) {
  if (path.size() == 16 && IsLowerHex(path)) return 1;
  std::size_t slash = path.find('/');
  if (slash == std::string_view::npos || !IsDigits(path.substr(0, slash))) {
    return 0;
  }
  std::string_view rest = path.substr(slash + 1);
  if (rest.size() < 4 || rest.substr(rest.size() - 4) != ".jpg") return 0;
  rest.remove_suffix(4);
  for (int group = 0; group < 3; ++group) {
    std::size_t dash = rest.find('-');
    if ((group < 2) == (dash == std::string_view::npos)) return 0;
    if (!IsLowerHex(rest.substr(0, dash))) return 0;
    rest = group < 2 ? rest.substr(dash + 1) : std::string_view();
  }
  return 2;
}

TEST(AddressList, BytesAndLines) {
  std::string_view list = ListView();
  EXPECT_EQ(list.size(), 283546u);
  std::size_t lines = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto c = static_cast<unsigned char>(list[i]);
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < list.size() && list[i + 1] == '\n')
          << "lone CR at byte " << i;
      ASSERT_TRUE(i > 0 && list[i - 1] != '\n') << "empty line at byte " << i;
      ++lines;
      ++i;
    } else {
      ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << "byte " << int(c) << " at " << i;
    }
  }
  EXPECT_EQ(lines, static_cast<std::size_t>(kLineCount));
  EXPECT_EQ(list.substr(list.size() - 2), "\r\n");
  // No zero byte: the text of the list is the whole list.
  EXPECT_EQ(ToText(AddressList).size(), list.size());
}

TEST(AddressList, EveryLineIsAnAddressOfOneShape) {
  const std::string_view kScheme = "http://";
  const std::string_view kProxyPath = "/net/a/36/link?appid=36&url=";
  std::string_view list = ListView();
  std::set<std::string> proxies, imageHosts;
  int longLines = 0;
  int number = 0;
  for (std::size_t begin = 0; begin < list.size();) {
    std::size_t end = list.find("\r\n", begin);
    ASSERT_NE(end, std::string_view::npos);
    std::string_view line = list.substr(begin, end - begin);
    begin = end + 2;
    ++number;
    ASSERT_GE(line.size(), 116u) << "line " << number;
    ASSERT_LE(line.size(), 188u) << "line " << number;
    ASSERT_EQ(line.substr(0, kScheme.size()), kScheme) << "line " << number;
    std::string_view proxy = line.substr(kScheme.size(), 26);
    proxies.insert(std::string(proxy));
    std::string_view rest = line.substr(kScheme.size() + 26);
    ASSERT_EQ(rest.substr(0, kProxyPath.size()), kProxyPath)
        << "line " << number;
    std::string picture = Decode(rest.substr(kProxyPath.size()));
    ASSERT_EQ(picture.substr(0, 8), "https://") << "line " << number;
    std::size_t slash = picture.find('/', 8);
    ASSERT_NE(slash, std::string::npos) << "line " << number;
    std::string host = picture.substr(8, slash - 8);
    imageHosts.insert(host);
    int kind = PathKind(std::string_view(picture).substr(slash + 1));
    ASSERT_NE(kind, 0) << "line " << number << ": " << picture;
    if (kind == 2) ++longLines;
    EXPECT_EQ(line.size(), kind == 2 ? 188u : 116u) << "line " << number;
  }
  EXPECT_EQ(number, kLineCount);
  EXPECT_EQ(longLines, 13);
  // One proxy and a handful of image hosts, all under the reserved .example
  // domain so that no pick ever reaches a real server.
  EXPECT_EQ(proxies, std::set<std::string>{"pictures.yarrowlit.example"});
  EXPECT_EQ(imageHosts, (std::set<std::string>{
                            "img01.kestrune.example", "img02.kestrune.example",
                            "img03.kestrune.example", "img04.kestrune.example",
                            "img05.kestrune.example"}));
}

TEST(AddressList, LinesByNumber) {
  std::string_view list = ListView();
  std::string_view first = list.substr(0, list.find("\r\n"));
  std::string_view last = list.substr(0, list.size() - 2);
  last = last.substr(last.rfind("\r\n") + 2);
  const Text text = ToText(AddressList);
  struct {
    const char* what;
    std::int32_t n;
    Text want;
  } const cases[] = {
      {"first", 1, Text(first)},
      {"last", kLineCount, Text(last)},
      {"just past the last", kLineCount + 1, ""},
      {"draw bound", kPickDrawBound, ""},
      {"zero", 0, ""},
      {"negative", -1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LineOfText(text, c.n), c.want) << c.what;
  }
  EXPECT_EQ(TextLeft(Text(first), 34), "http://pictures.yarrowlit.example/");
}

}  // namespace
