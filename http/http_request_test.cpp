#include "http/http_request.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "http/testing/test_servers.h"
#include "platform/wininet.h"

namespace {

const char kAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

class HttpRequestTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InternetStartUp();
    server_ = StartScriptedServer().release();
    tls_ = StartScriptedServer(true).release();
    proxy_ = StartTinyproxy().release();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete tls_;
    delete proxy_;
  }
  void SetUp() override {
    ASSERT_NE(server_->port, 0) << "scripted server did not start";
    ASSERT_NE(tls_->port, 0) << "TLS server did not start";
    ASSERT_NE(proxy_->port, 0) << "tinyproxy did not start";
    handles_ = OpenInternetHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(OpenInternetHandleCount(), handles_) << "a handle was left open";
    SetBodyLimitForTesting(0);
    SetInternetTimeoutsForTesting(0, 0, 0);
  }

  static std::string Ok(const std::string& body,
                        const std::string& extra = std::string()) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + extra + "\r\n" + body;
  }
  static std::string Host() {
    return "127.0.0.1:" + std::to_string(server_->port);
  }
  // The request as the server saw it, from its first line on.
  static std::string Wire(const std::string& name) {
    return server_->Recorded(name);
  }
  static std::string RequestLine(const std::string& name) {
    const std::string r = Wire(name);
    return r.substr(0, r.find("\r\n"));
  }

  static TestServer* server_;
  static TestServer* tls_;
  static TestServer* proxy_;
  int handles_ = 0;
};

TestServer* HttpRequestTest::server_ = nullptr;
TestServer* HttpRequestTest::tls_ = nullptr;
TestServer* HttpRequestTest::proxy_ = nullptr;

TEST_F(HttpRequestTest, TheWorkersCallSendsExactlyTheUsualHeaders) {
  server_->Script("worker", Ok("picture bytes"));
  const std::string address = server_->Url("/raw/worker?n=1");
  EXPECT_EQ(AsString(HttpRequest(address)), "picture bytes");
  EXPECT_EQ(Wire("worker"), "GET /raw/worker?n=1 HTTP/1.1\r\nHost: " + Host() +
                                "\r\nUser-Agent: " + kAgent +
                                "\r\nAccept: */*\r\nReferer: " + address +
                                "\r\nAccept-Language: zh-cn\r\n\r\n");
}

TEST_F(HttpRequestTest, AddressesWithoutSchemeOrInOtherCase) {
  struct Case {
    const char* what;
    std::string address;
  };
  const Case cases[] = {
      {"no scheme", Host() + "/raw/noscheme0"},
      {"upper-case scheme", "HTTP://" + Host() + "/raw/noscheme1"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "noscheme" + std::to_string(n++);
    server_->Script(name, Ok("ok"));
    EXPECT_EQ(AsString(HttpRequest(c.address)), "ok") << c.what;
    EXPECT_NE(Wire(name).find("\r\nReferer: " + c.address + "\r\n"),
              std::string::npos)
        << c.what;
  }
}

TEST_F(HttpRequestTest, EveryMethodOfTheVerbTable) {
  struct Case {
    std::int32_t method;
    const char* verb;
  };
  const Case cases[] = {
      {0, "GET"},    {1, "POST"},  {2, "HEAD"},    {3, "PUT"}, {4, "OPTIONS"},
      {5, "DELETE"}, {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"}, {-1, "GET"}};
  for (const Case& c : cases) {
    const std::string name = "verb" + std::to_string(c.method + 1);
    server_->Script(name, Ok("v"));
    const Bytes body = HttpRequest(server_->Url("/raw/" + name), c.method);
    EXPECT_EQ(RequestLine(name),
              std::string(c.verb) + " /raw/" + name + " HTTP/1.1")
        << c.method;
    EXPECT_EQ(AsString(body), c.method == 2 ? "" : "v") << c.method;
  }
}

TEST_F(HttpRequestTest, RequestBodies) {
  struct Case {
    const char* what;
    std::int32_t method;
    std::string postText;
    bool givePostBytes;
    std::string postBytes;       // before the call
    std::string sentTail;        // the request from Content-Length on
    std::string postBytesAfter;  // the caller's postBytes afterwards
    bool contentType;            // the form content type was sent
  };
  const Case cases[] = {
      {"POST with postText, postBytes omitted", 1, "a=1", false, "",
       "Content-Length: 3\r\n\r\na=1", "", true},
      {"POST with postText, postBytes empty: filled from it", 1, "a=1", true,
       "", "Content-Length: 3\r\n\r\na=1", "a=1", true},
      {"POST with postBytes: postText ignored", 1, "a=1", true,
       std::string("b\x00z", 3),
       std::string("Content-Length: 3\r\n\r\nb\x00z", 24),
       std::string("b\x00z", 3), true},
      {"POST with neither", 1, "", true, "", "Content-Length: 0\r\n\r\n", "",
       true},
      {"PUT with postBytes, no content type", 3, "", true, "put!",
       "Content-Length: 4\r\n\r\nput!", "put!", false},
      {"GET sends neither", 0, "a=1", true, "", "", "", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "post" + std::to_string(n++);
    server_->Script(name, Ok("done"));
    Bytes postBytes = AsBytes(c.postBytes);
    const Bytes body = HttpRequest(
        server_->Url("/raw/" + name), c.method, c.postText, nullptr, nullptr,
        nullptr, nullptr, false, c.givePostBytes ? &postBytes : nullptr);
    EXPECT_EQ(AsString(body), "done") << c.what;
    const std::string wire = Wire(name);
    const auto length = wire.find("Content-Length: ");
    if (c.sentTail.empty()) {
      EXPECT_EQ(length, std::string::npos) << c.what;
      EXPECT_EQ(wire.substr(wire.size() - 4), "\r\n\r\n") << c.what;
    } else {
      ASSERT_NE(length, std::string::npos) << c.what;
      EXPECT_EQ(wire.substr(length), c.sentTail) << c.what;
    }
    if (c.givePostBytes) {
      EXPECT_EQ(AsString(postBytes), c.postBytesAfter) << c.what;
    }
    EXPECT_EQ(
        wire.find("Content-Type: application/x-www-form-urlencoded\r\n") !=
            std::string::npos,
        c.contentType)
        << c.what;
  }
}

TEST_F(HttpRequestTest, HeaderTextIsNormalisedCompletedAndHandedBack) {
  const std::string referer = "Referer: " + server_->Url("/raw/");
  struct Case {
    const char* what;
    std::int32_t method;
    std::string headers;
    bool completeHeaders;
    bool normalizeNames;
    bool giveCookies;
    std::string cookies;
    std::string block;  // extraHeaders afterwards: the block sent
  };
  const Case cases[] = {
      {"'X-Accept: y' holds \"Accept:\"", 0, "X-Accept: y", true, true, false,
       "", "X-Accept: y\r\n" + referer + "hdr0\r\nAccept-Language: zh-cn"},
      {"names normalised, lines without a colon dropped", 0,
       "x-one: a\r\nno colon\r\naccept-language: en", true, true, false, "",
       "X-One: a\r\nAccept-Language: en\r\nAccept: */*\r\n" + referer + "hdr1"},
      {"normalising off keeps the names", 0, "x-one: a", true, false, false, "",
       "x-one: a\r\nAccept: */*\r\n" + referer +
           "hdr2\r\nAccept-Language: zh-cn"},
      {"POST gets the form content type", 1, "", true, true, false, "",
       "Accept: */*\r\n" + referer +
           "hdr3\r\nAccept-Language: zh-cn\r\nContent-Type: "
           "application/x-www-form-urlencoded"},
      {"POST with its own content type", 1, "content-type: text/plain", true,
       true, false, "",
       "Content-Type: text/plain\r\nAccept: */*\r\n" + referer +
           "hdr4\r\nAccept-Language: zh-cn"},
      {"completion off, a cookie list", 0, "", false, true, true, "a=1",
       "\r\nCookie: a=1"},
      {"a list of pairs gets the name", 0, "X: 1", false, true, true,
       "a=1; b=2", "X: 1\r\nCookie: a=1; b=2"},
      {"a list naming Cookie: goes as it is", 0, "X: 1", false, true, true,
       "Cookie: a=1", "X: 1\r\nCookie: a=1"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "hdr" + std::to_string(n++);
    server_->Script(name, Ok(""));
    Text headers = c.headers;
    Text cookies = c.cookies;
    HttpRequest(server_->Url("/raw/" + name), c.method, Text(),
                c.giveCookies ? &cookies : nullptr, nullptr, &headers, nullptr,
                false, nullptr, Text(), true, c.completeHeaders,
                c.normalizeNames);
    EXPECT_EQ(headers, c.block) << c.what;
    // On the wire: the block's lines, empty ones left out, after the agent.
    std::string lines;
    for (const Text& line : SplitText(c.block, "\r\n")) {
      if (!line.empty()) lines += line + "\r\n";
    }
    const std::string wire = Wire(name);
    const auto start = wire.find("\r\n", wire.find("User-Agent: ")) + 2;
    const auto end =
        c.method == 1 ? wire.find("Content-Length: ") : wire.size() - 2;
    EXPECT_EQ(wire.substr(start, end - start), lines) << c.what;
  }
}

TEST_F(HttpRequestTest, UserAgentFromTheHeaderText) {
  struct Case {
    const char* what;
    std::string headers;
    bool normalizeNames;
    std::string agentLine;  // the User-Agent line on the wire
  };
  const Case cases[] = {
      {"none given: the default", "X: 1", true,
       std::string("User-Agent: ") + kAgent},
      {"normalised name", "user-agent: X/1", true, "User-Agent: X/1"},
      {"normalising off: the caller's line", "user-agent: X/1", false,
       "user-agent: X/1"},
      {"named inside another header: the agent is what follows",
       "X-Note: User-Agent: Z/9", true, "User-Agent: Z/9"},
      {"only the value after the first colon of the whole text, one line",
       "X-A: first\r\nX-B: says user-agent:", false, "User-Agent: first"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "ua" + std::to_string(n++);
    server_->Script(name, Ok(""));
    Text headers = c.headers;
    HttpRequest(server_->Url("/raw/" + name), 0, Text(), nullptr, nullptr,
                &headers, nullptr, false, nullptr, Text(), true, true,
                c.normalizeNames);
    const std::string wire = Wire(name);
    EXPECT_NE(wire.find("\r\n" + c.agentLine + "\r\n"), std::string::npos)
        << c.what << "\n"
        << wire;
    int agents = 0;
    for (const Text& line : SplitText(wire, "\r\n")) {
      agents += ToLower(TextLeft(line, 11)) == "user-agent:";
    }
    EXPECT_EQ(agents, 1) << c.what << "\n" << wire;
  }
}

TEST_F(HttpRequestTest, CookiesSetByTheServerAreHarvested) {
  struct Case {
    const char* what;
    std::string setLines;
    std::string received;
  };
  const Case cases[] = {
      {"with and without attributes",
       "Set-Cookie: a=1; path=/raw/harvest0\r\nSet-Cookie: b=2\r\n",
       "a=1; b=2"},
      {"other letter case and no blank are not recognised",
       "set-cookie: c=3\r\nSet-Cookie:d=4\r\nSet-Cookie: e=5\r\n", "e=5"},
      {"none", "X-Other: 1\r\n", ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    // A path of its own keeps these cookies away from the other tests.
    const std::string name = "harvest" + std::to_string(n++);
    server_->Script(name, Ok("", c.setLines));
    Text received = "stale";
    HttpRequest(server_->Url("/raw/" + name + "/x"), 0, Text(), nullptr,
                &received);
    EXPECT_EQ(received, c.received) << c.what;
  }
}

TEST_F(HttpRequestTest, CookieListGivenButEmpty) {
  server_->Script("emptylist",
                  Ok("", "Set-Cookie: e=5; Path=/raw/emptylist\r\n"));
  Text cookies, received;
  HttpRequest(server_->Url("/raw/emptylist/x"), 0, Text(), &cookies, &received);
  EXPECT_EQ(cookies, "e=5");
  EXPECT_EQ(received, "e=5");
  EXPECT_EQ(Wire("emptylist").find("Cookie"), std::string::npos);
  // The process's cookie store was off: it did not keep e=5.
  HttpRequest(server_->Url("/raw/emptylist/y"));
  EXPECT_EQ(Wire("emptylist").find("e=5"), std::string::npos);
}

TEST_F(HttpRequestTest, CookieListOmittedIsNotMerged) {
  server_->Script("omitted", Ok("", "Set-Cookie: o=1; Path=/raw/omitted\r\n"));
  Text received;
  HttpRequest(server_->Url("/raw/omitted/x"), 0, Text(), nullptr, &received,
              nullptr, nullptr, false, nullptr, Text(), true);
  EXPECT_EQ(received, "o=1");
  // The process's store kept it and sends it to the same path.
  HttpRequest(server_->Url("/raw/omitted/y"));
  EXPECT_NE(Wire("omitted").find("\r\nCookie: o=1\r\n"), std::string::npos);
}

TEST_F(HttpRequestTest, CookieListCarriedAcrossRequests) {
  server_->Script("carry1", Ok("", "Set-Cookie: b=3; path=/\r\n"));
  server_->Script("carry2", Ok("", "Set-Cookie: a=deleted; path=/\r\n"));
  Text cookies = "a=1; b=2", received;
  HttpRequest(server_->Url("/raw/carry1"), 0, Text(), &cookies, &received);
  EXPECT_EQ(cookies, "b=3; a=1");
  EXPECT_EQ(received, "b=3; a=1");
  HttpRequest(server_->Url("/raw/carry2"), 0, Text(), &cookies, &received);
  EXPECT_NE(Wire("carry2").find("\r\nCookie: b=3; a=1\r\n"), std::string::npos);
  EXPECT_EQ(cookies, "b=3");
  EXPECT_EQ(received, "b=3");

  server_->Script("carry3", Ok("", "Set-Cookie: n=1\r\n"));
  cookies = "a=1";
  HttpRequest(server_->Url("/raw/carry3"), 0, Text(), &cookies, &received,
              nullptr, nullptr, false, nullptr, Text(), false);
  EXPECT_EQ(cookies, "a=1") << "merging switched off";
  EXPECT_EQ(received, "n=1");
}

TEST_F(HttpRequestTest, Bodies) {
  std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::string piece(37 + i, char('a' + i % 26));
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    chunked += size + piece + "\r\n";
    expected += piece;
  }
  chunked += "0\r\n\r\n";
  struct Case {
    const char* what;
    std::string response;
    std::string body;
  };
  const Case cases[] = {
      {"2500 bytes", Ok(std::string(2500, 'q')), std::string(2500, 'q')},
      {"chunked", chunked, expected},
      {"no body", Ok(""), ""},
      {"an error status still gives its body",
       "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", "gone"},
      {"broken off mid-body: what arrived",
       "HTTP/1.1 200 OK\r\nContent-Length: 9000\r\n\r\n" +
           std::string(3000, 'r'),
       std::string(3000, 'r')},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "body" + std::to_string(n++);
    server_->Script(name, c.response);
    EXPECT_EQ(AsString(HttpRequest(server_->Url("/raw/" + name))), c.body)
        << c.what;
  }
}

TEST_F(HttpRequestTest, ResponseHeaderText) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n";
  // A block of exactly `size` bytes (with its final CR LF) and a cookie.
  auto block_of = [&head](std::size_t size) {
    const std::string cookie = "Set-Cookie: big=1\r\n";
    const std::size_t filler = size - head.size() - cookie.size() - 2 - 5;
    return head + cookie + "X: " + std::string(filler, 'f') + "\r\n\r\n";
  };
  struct Case {
    const char* what;
    std::string response;
    std::string headers;
    std::string received;
  };
  const Case cases[] = {
      {"the exact block", Ok("", "X-A: 1\r\n"),
       "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-A: 1\r\n\r\n", ""},
      {"4999 bytes fit with the zero", block_of(4999), block_of(4999), "big=1"},
      {"5000 bytes do not: blanks, no cookie", block_of(5000),
       std::string(5000, ' '), ""},
      {"6000 bytes: blanks, no overflow", block_of(6000),
       std::string(5000, ' '), ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "resp" + std::to_string(n++);
    server_->Script(name, c.response);
    Text headers = "stale", received = "stale";
    HttpRequest(server_->Url("/raw/" + name + "/x"), 0, Text(), nullptr,
                &received, nullptr, &headers);
    EXPECT_EQ(headers, c.headers) << c.what;
    EXPECT_EQ(received, c.received) << c.what;
  }
}

TEST_F(HttpRequestTest, FailedSends) {
  struct Case {
    const char* what;
    std::string address;
  };
  const Case cases[] = {
      {"a refused port", "http://127.0.0.1:1/x"},
      // No name lookup leaves the machine: a label this long is refused
      // before any is tried.
      {"a host that cannot be resolved",
       "http://" + std::string(64, 'n') + ".example/"},
  };
  for (const Case& c : cases) {
    Text cookies = "a=1", received = "stale", headers, response = "stale";
    Bytes post;
    const Bytes body = HttpRequest(c.address, 1, "p=1", &cookies, &received,
                                   &headers, &response, false, &post);
    EXPECT_TRUE(body.empty()) << c.what;
    EXPECT_EQ(response, std::string(5000, ' ')) << c.what;
    EXPECT_EQ(received, "a=1") << c.what << ": the merge still runs";
    EXPECT_EQ(cookies, "a=1") << c.what;
    EXPECT_EQ(AsString(post), "p=1") << c.what;
    EXPECT_EQ(headers, "Accept: */*\r\nReferer: " + c.address +
                           "\r\nAccept-Language: zh-cn\r\nContent-Type: "
                           "application/x-www-form-urlencoded\r\nCookie: a=1")
        << c.what;
  }
}

TEST_F(HttpRequestTest, NoConnectionLeavesTheCallersTextsAlone) {
  Text cookies = "c=1", received = "stale", headers = "x-one: 1",
       response = "stale";
  Bytes post = AsBytes("keep");
  EXPECT_TRUE(HttpRequest("", 1, "p=1", &cookies, &received, &headers,
                          &response, false, &post)
                  .empty());
  EXPECT_EQ(headers, "X-One: 1") << "normalised, nothing more";
  EXPECT_EQ(response, "stale");
  EXPECT_EQ(received, "stale");
  EXPECT_EQ(cookies, "c=1");
  EXPECT_EQ(AsString(post), "keep");
}

TEST_F(HttpRequestTest, Redirects) {
  server_->Script("hop",
                  "HTTP/1.1 302 Found\r\nLocation: /raw/landing\r\n"
                  "Content-Length: 5\r\n\r\nmoved");
  server_->Script("landing", Ok("arrived"));
  Text response;
  EXPECT_EQ(AsString(HttpRequest(server_->Url("/raw/hop"), 0, Text(), nullptr,
                                 nullptr, nullptr, &response)),
            "arrived");
  EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(AsString(HttpRequest(server_->Url("/raw/hop"), 0, Text(), nullptr,
                                 nullptr, nullptr, &response, true)),
            "moved");
  EXPECT_EQ(response.substr(0, 20), "HTTP/1.1 302 Found\r\n");

  tls_->Script("secure", Ok("over tls"));
  server_->Script(
      "tohttps", "HTTP/1.1 301 Moved\r\nLocation: " + tls_->Url("/raw/secure") +
                     "\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(AsString(HttpRequest(server_->Url("/raw/tohttps"))), "over tls");
}

TEST_F(HttpRequestTest, SecureAddressAcceptsAnyCertificate) {
  tls_->Script("direct", Ok("secure body"));
  EXPECT_EQ(AsString(HttpRequest(tls_->Url("/raw/direct"))), "secure body");
}

TEST_F(HttpRequestTest, ThroughTinyproxy) {
  const std::string proxy = "localhost:" + std::to_string(proxy_->port);
  server_->Script("viaproxy", Ok("proxied"));
  const std::string address =
      "http://localhost:" + std::to_string(server_->port) + "/raw/viaproxy";
  EXPECT_EQ(AsString(HttpRequest(address, 0, Text(), nullptr, nullptr, nullptr,
                                 nullptr, false, nullptr, proxy)),
            "proxied");
  EXPECT_NE(Wire("viaproxy").find("\r\nVia: "), std::string::npos)
      << "the proxy handled it";

  tls_->Script("tunnel", Ok("tunnelled"));
  const std::string secure =
      "https://localhost:" + std::to_string(tls_->port) + "/raw/tunnel";
  EXPECT_EQ(AsString(HttpRequest(secure, 0, Text(), nullptr, nullptr, nullptr,
                                 nullptr, false, nullptr, proxy)),
            "tunnelled");
  std::ifstream in(proxy_->dir + "/tinyproxy.log");
  std::stringstream log;
  log << in.rdbuf();
  EXPECT_NE(log.str().find("CONNECT localhost:" + std::to_string(tls_->port)),
            std::string::npos);
}

TEST_F(HttpRequestTest, BodyStopsAtTheLimit) {
  SetBodyLimitForTesting(3000);
  const Bytes body = HttpRequest(server_->Url("/big/100000"));
  ASSERT_EQ(body.size(), 3000u);
  for (std::size_t i = 0; i < body.size(); ++i) {
    ASSERT_EQ(body[i], i % 251) << i;
  }
}

TEST_F(HttpRequestTest, AServerThatGoesSilentIsLeft) {
  SetInternetTimeoutsForTesting(0, 0, 300);
  server_->Script("silent",
                  "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
  Text response;
  EXPECT_EQ(AsString(HttpRequest(server_->Url("/hold/silent"), 0, Text(),
                                 nullptr, nullptr, nullptr, &response)),
            "part");
  EXPECT_EQ(response, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
}

TEST_F(HttpRequestTest, ThirtyTwoRequestsAtOnce) {
  constexpr int kThreads = 32;
  std::vector<std::string> bodies(kThreads);
  std::vector<Text> cookieLists(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([i, &bodies, &cookieLists] {
      Text headers = "X-Thread: " + std::to_string(i);
      cookieLists[i] = "t=" + std::to_string(i);
      bodies[i] =
          AsString(HttpRequest(server_->Url("/echo/" + std::to_string(i)), 0,
                               Text(), &cookieLists[i], nullptr, &headers));
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(bodies[i].rfind("GET /echo/" + n + " HTTP/1.1\r\n", 0), 0u) << i;
    EXPECT_NE(bodies[i].find("\r\nX-Thread: " + n + "\r\n"), std::string::npos)
        << i;
    EXPECT_NE(bodies[i].find("\r\nCookie: t=" + n + "\r\n"), std::string::npos)
        << i;
    EXPECT_EQ(cookieLists[i], "t=" + n) << i;
  }
}

}  // namespace
