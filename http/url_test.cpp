#include "http/url.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct AddressCase {
  const char* what;
  Text address;
  Text host;
  Text hostWithPort;
  std::int32_t port;
  Text path;
};

TEST(UrlParts, Cases) {
  const AddressCase cases[] = {
      {"port and query", "http://Srv:8080/A/b?x=1", "srv", "srv:8080", 8080,
       "/A/b?x=1"},
      {"upper-case https, nothing after the host", "HTTPS://Srv", "srv", "srv",
       443, "/"},
      {"https with a port", "https://srv:8443", "srv", "srv:8443", 8443, "/"},
      {"no scheme", "srv/x", "srv", "srv", 80, "/x"},
      {"empty address", "", "", "", 80, "/"},
      {"query without a path", "http://srv?x=1", "srv?x=1", "srv?x=1", 80, "/"},
      {"http:// further on", "srv/a?u=http://x/y", "x", "x", 80, "/y"},
      {"https-like name without a scheme", "httpsrv/x", "httpsrv", "httpsrv",
       443, "/x"},
      {"empty port", "http://srv:/x", "srv", "srv:", 0, "/x"},
      {"last colon gives the port", "http://a:1:2/x", "a", "a:1:2", 2, "/x"},
      {"port beyond 16 bits is passed on as written", "http://h:70000/", "h",
       "h:70000", 70000, "/"},
      {"port text that is no number", "http://srv:abc/", "srv", "srv:abc", 0,
       "/"},
      {"path keeps its case", "http://Host.Example/Pic.JPG", "host.example",
       "host.example", 80, "/Pic.JPG"},
      {"mixed-case scheme", "HtTp://H/p", "h", "h", 80, "/p"},
      {"address of the list",
       "http://pictures.yarrowlit.example/net/a/36/"
       "link?appid=36&url=https%3A%2F%2Fimg01.kestrune.example%"
       "2F0123456789abcdef",
       "pictures.yarrowlit.example", "pictures.yarrowlit.example", 80,
       "/net/a/36/"
       "link?appid=36&url=https%3A%2F%2Fimg01.kestrune.example%"
       "2F0123456789abcdef"},
      {"only a slash", "/", "", "", 80, "/"},
      {"scheme alone", "http://", "", "", 80, "/"},
      {"https scheme alone", "https://", "", "", 443, "/"},
      {"empty host", "http:///x", "", "", 80, "/x"},
      // Hosts that also occur inside the scheme: the path still begins after
      // the host, not at the scheme's "//".
      {"host inside http://", "http://ht/x", "ht", "ht", 80, "/x"},
      {"host inside HTTPS://", "HTTPS://S/x", "s", "s", 443, "/x"},
      {"host inside https://, no path", "https://tps", "tps", "tps", 443, "/"},
      {"host inside https://, query", "https://p?q=/z", "p?q=", "p?q=", 443,
       "/z"},
      {"https:// not at the start", "x https://h/p", "x https", "x https:", 0,
       "//h/p"},
      {"user part kept in the host", "http://u:p@h/x", "u", "u:p@h", 0, "/x"},
      {"two-byte characters in the host", "http://\xD6\xD0.cn/x", "\xD6\xD0.cn",
       "\xD6\xD0.cn", 80, "/x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlHost(c.address), c.host) << c.what;
    EXPECT_EQ(UrlHost(c.address, true), c.hostWithPort) << c.what;
    EXPECT_EQ(UrlPort(c.address), c.port) << c.what;
    EXPECT_EQ(UrlPath(c.address), c.path) << c.what;
  }
}

TEST(UrlPath, IsNeverEmpty) {
  for (const Text& address :
       {Text(""), Text(":"), Text("?"), Text("http:"), Text("\xD6"),
        Text("////"), Text("https://a"), Text("a?b/c")}) {
    Text path = UrlPath(address);
    ASSERT_FALSE(path.empty()) << address;
    EXPECT_EQ(path[0], '/') << address;
  }
}

// Request threads take their addresses apart at the same time.
TEST(UrlParts, RunOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const Text address = "http://H" + ToText(t) + ":81" + ToText(t) + "/P";
      for (int i = 0; i < 500; ++i) {
        if (UrlHost(address) != "h" + ToText(t) ||
            UrlPort(address) != 810 + t || UrlPath(address) != "/P") {
          ++failures[static_cast<std::size_t>(t)];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
