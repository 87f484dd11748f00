#include "platform/wininet.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "http/testing/test_servers.h"

namespace {

constexpr DWORD kAnyCertificate = 0x0001F380;

// What one exchange through the stand-in gave.
struct Outcome {
  bool sent = false;
  std::string body;
  std::vector<DWORD> reads;  // every count InternetReadFile reported
  std::string headers;       // HTTP_QUERY_RAW_HEADERS_CRLF, empty on failure
};

struct Call {
  std::string url_host = "127.0.0.1";
  INTERNET_PORT port = 0;
  const char* verb = "GET";
  std::string object = "/";
  DWORD flags = INTERNET_FLAG_RELOAD;
  bool any_certificate = false;
  std::string headers;
  std::string body;
  const char* agent = "Agent/1";
  const char* proxy = nullptr;  // INTERNET_OPEN_TYPE_PROXY when set
  DWORD chunk = 1024;
};

Outcome Exchange(const Call& c) {
  Outcome o;
  HINTERNET internet = InternetOpenA(
      c.agent, c.proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
      c.proxy, c.proxy ? "" : nullptr, 0);
  HINTERNET connect =
      InternetConnectA(internet, c.url_host.c_str(), c.port, nullptr, nullptr,
                       INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request =
      HttpOpenRequestA(connect, c.verb, c.object.c_str(), "HTTP/1.1", nullptr,
                       nullptr, c.flags, 0);
  if (c.any_certificate) {
    DWORD value = kAnyCertificate;
    InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &value, 4);
  }
  std::string body = c.body;
  o.sent = HttpSendRequestA(
               request, c.headers.empty() ? nullptr : c.headers.data(),
               DWORD(c.headers.size()), body.empty() ? nullptr : body.data(),
               DWORD(body.size())) != 0;
  std::vector<char> buffer(c.chunk);
  for (int i = 0; i < 1000000; ++i) {
    DWORD count = 12345;
    InternetReadFile(request, buffer.data(), c.chunk, &count);
    o.reads.push_back(count);
    o.body.append(buffer.data(), count);
    if (count == 0) break;
  }
  std::vector<char> text(200000, '\x01');
  DWORD length = DWORD(text.size());
  if (HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &length,
                     nullptr)) {
    o.headers.assign(text.data(), length);
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connect);
  InternetCloseHandle(internet);
  return o;
}

class WininetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InternetStartUp();
    server_ = StartScriptedServer().release();
    tls_ = StartScriptedServer(true).release();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete tls_;
  }
  void SetUp() override {
    ASSERT_NE(server_->port, 0) << "scripted server did not start";
    ASSERT_NE(tls_->port, 0) << "TLS server did not start";
  }
  void TearDown() override { SetInternetTimeoutsForTesting(0, 0, 0); }

  static Call To(const std::string& object) {
    Call c;
    c.port = INTERNET_PORT(server_->port);
    c.object = object;
    return c;
  }
  static std::string Ok(const std::string& body,
                        const std::string& extra = std::string()) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + extra + "\r\n" + body;
  }
  std::string Host() const {
    return "127.0.0.1:" + std::to_string(server_->port);
  }

  static TestServer* server_;
  static TestServer* tls_;
};

TestServer* WininetTest::server_ = nullptr;
TestServer* WininetTest::tls_ = nullptr;

TEST_F(WininetTest, HandlesRefuseWhatTheyCannotUse) {
  const int before = OpenInternetHandleCount();
  HINTERNET internet =
      InternetOpenA("A", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr);
  EXPECT_EQ(InternetConnectA(internet, nullptr, 80, nullptr, nullptr,
                             INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  EXPECT_EQ(InternetConnectA(internet, "", 80, nullptr, nullptr,
                             INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  EXPECT_EQ(InternetConnectA(internet, "h", 21, nullptr, nullptr, 1, 0, 0),
            nullptr)
      << "only the HTTP service is offered";
  EXPECT_EQ(InternetConnectA(nullptr, "h", 80, nullptr, nullptr,
                             INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  EXPECT_EQ(InternetOpenA("A", INTERNET_OPEN_TYPE_PROXY, nullptr, "", 0),
            nullptr)
      << "a proxy access type needs a proxy";

  HINTERNET connect = InternetConnectA(internet, "h", 80, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(connect, nullptr);
  EXPECT_EQ(
      HttpOpenRequestA(internet, "GET", "/", nullptr, nullptr, nullptr, 0, 0),
      nullptr)
      << "a request opens on a connection, not on an Internet handle";
  EXPECT_EQ(HttpOpenRequestA(connect, "GET /x HTTP/1.0\r\nX:", "/", nullptr,
                             nullptr, nullptr, 0, 0),
            nullptr)
      << "a verb that would break the request line";
  HINTERNET request = HttpOpenRequestA(connect, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, 0, 0);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(OpenInternetHandleCount(), before + 3);

  // Nothing sent yet: nothing to read or query, and the count is cleared.
  char buffer[16];
  DWORD count = 99;
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
  DWORD length = sizeof buffer;
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer,
                              &length, nullptr));
  EXPECT_FALSE(
      InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, nullptr, 4));
  EXPECT_FALSE(
      InternetSetOptionA(connect, INTERNET_OPTION_SECURITY_FLAGS, &length, 4));

  // Closing the Internet handle closes what was opened beneath it.
  EXPECT_TRUE(InternetCloseHandle(internet));
  EXPECT_EQ(OpenInternetHandleCount(), before);
  EXPECT_FALSE(InternetCloseHandle(request));
  EXPECT_FALSE(InternetCloseHandle(connect));
  EXPECT_FALSE(InternetCloseHandle(nullptr));
  count = 7;
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(WininetTest, PlainGetCarriesOnlyItsOwnLines) {
  server_->Script("plain", Ok("hello"));
  Call c = To("/raw/plain?q=1");
  c.headers = "X-One: 1\r\nX-Two: two";
  const Outcome o = Exchange(c);
  EXPECT_TRUE(o.sent);
  EXPECT_EQ(o.body, "hello");
  EXPECT_EQ(server_->Recorded("plain"),
            "GET /raw/plain?q=1 HTTP/1.1\r\nHost: " + Host() +
                "\r\nUser-Agent: Agent/1\r\nX-One: 1\r\nX-Two: two\r\n\r\n");
}

TEST_F(WininetTest, HeaderLinesGoOutAsTheCallerWroteThem) {
  struct Case {
    const char* what;
    std::string headers;
    const char* agent;
    std::string expected;  // the request after its first line
  };
  const std::string host = "Host: " + Host() + "\r\n";
  const Case cases[] = {
      {"the caller's agent wins", "user-agent: Mine/2", "Agent/1",
       host + "user-agent: Mine/2\r\n"},
      {"no agent given, none sent", "X: 1", nullptr, host + "X: 1\r\n"},
      {"an empty value is kept", "X-Empty:\r\nX-Blank:   ", "A",
       host + "User-Agent: A\r\nX-Empty:\r\nX-Blank:\r\n"},
      {"empty lines and lines without a name are dropped",
       "\r\nno colon\r\n: nameless\r\nX: 1\r\n\r\n", "A",
       host + "User-Agent: A\r\nX: 1\r\n"},
      {"a lone LF or CR cannot hide a second header", "X: 1\nInjected: 2\rY: 3",
       "A", host + "User-Agent: A\r\nX: 1\r\nInjected: 2\r\nY: 3\r\n"},
      {"the caller's Accept is the only one", "Accept: text/*", "A",
       host + "User-Agent: A\r\nAccept: text/*\r\n"},
      {"a Host line of the caller's replaces the default", "Host: other", "A",
       "Host: other\r\nUser-Agent: A\r\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "lines" + std::to_string(n++);
    server_->Script(name, Ok(""));
    Call call = To("/raw/" + name);
    call.headers = c.headers;
    call.agent = c.agent;
    Exchange(call);
    EXPECT_EQ(server_->Recorded(name),
              "GET /raw/" + name + " HTTP/1.1\r\n" + c.expected + "\r\n")
        << c.what;
  }
}

TEST_F(WininetTest, HeaderLengthMinusOneMeansZeroTerminated) {
  server_->Script("terminated", Ok(""));
  HINTERNET internet =
      InternetOpenA("A", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connect =
      InternetConnectA(internet, "127.0.0.1", INTERNET_PORT(server_->port),
                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connect, "GET", "/raw/terminated",
                                       nullptr, nullptr, nullptr, 0, 0);
  EXPECT_TRUE(
      HttpSendRequestA(request, "X: z", kHeadersZeroTerminated, nullptr, 0));
  InternetCloseHandle(internet);
  EXPECT_NE(server_->Recorded("terminated").find("\r\nX: z\r\n"),
            std::string::npos);
}

TEST_F(WininetTest, ObjectNamesAreSentAsGivenButSafe) {
  server_->Script("obj", Ok(""));
  Call c = To("/raw/obj/../a b/\xD6\xD0?x=\"1\"");  // 中
  Exchange(c);
  const std::string recorded = server_->Recorded("obj");
  EXPECT_EQ(recorded.substr(0, recorded.find("\r\n")),
            "GET /raw/obj/../a%20b/%D6%D0?x=%221%22 HTTP/1.1");
}

TEST_F(WininetTest, BodiesAndMethods) {
  struct Case {
    const char* what;
    const char* verb;
    std::string body;
    std::string expected;  // request after the User-Agent line
  };
  const std::string big(2 << 20, 'b');
  const Case cases[] = {
      {"POST with a body states its length and no type", "POST", "a=1",
       "Content-Length: 3\r\n\r\na=1"},
      {"POST without a body states length 0", "POST", "",
       "Content-Length: 0\r\n\r\n"},
      {"PUT without a body states length 0", "PUT", "",
       "Content-Length: 0\r\n\r\n"},
      {"DELETE with a body", "DELETE", "xy", "Content-Length: 2\r\n\r\nxy"},
      {"OPTIONS without a body", "OPTIONS", "", "\r\n"},
      {"a large body goes without Expect", "PUT", big,
       "Content-Length: " + std::to_string(big.size()) + "\r\n\r\n" + big},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "method" + std::to_string(n++);
    server_->Script(name, Ok("done"));
    Call call = To("/raw/" + name);
    call.verb = c.verb;
    call.body = c.body;
    const Outcome o = Exchange(call);
    EXPECT_EQ(o.body, "done") << c.what;
    EXPECT_EQ(server_->Recorded(name),
              std::string(c.verb) + " /raw/" + name + " HTTP/1.1\r\nHost: " +
                  Host() + "\r\nUser-Agent: Agent/1\r\n" + c.expected)
        << c.what;
  }
}

TEST_F(WininetTest, HeadReadsNoBody) {
  server_->Script("head", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n");
  Call c = To("/raw/head");
  c.verb = "HEAD";
  const Outcome o = Exchange(c);
  EXPECT_TRUE(o.sent);
  EXPECT_EQ(o.body, "");
  EXPECT_EQ(o.headers, "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n");
}

TEST_F(WininetTest, ReadsFillTheBufferUntilTheEnd) {
  const std::string body2500 = std::string(2500, 'z');
  struct Case {
    const char* what;
    std::string response;
    DWORD chunk;
    std::vector<DWORD> reads;
    std::string body;
  };
  const Case cases[] = {
      {"2500 bytes", Ok(body2500), 1024, {1024, 1024, 452, 0}, body2500},
      {"chunked, pieces unlike the buffer",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
       "3\r\nabc\r\n1\r\nd\r\n6\r\nefghij\r\n0\r\n\r\n",
       4,
       {4, 4, 2, 0},
       "abcdefghij"},
      {"no body", Ok(""), 1024, {0}, ""},
      {"broken off mid-body",
       "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" +
           std::string(1500, 'p'),
       1024,
       {1024, 476, 0},
       std::string(1500, 'p')},
      {"closed without a length",
       "HTTP/1.1 200 OK\r\n\r\n" + std::string(10, 'c'),
       1024,
       {10, 0},
       std::string(10, 'c')},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "read" + std::to_string(n++);
    server_->Script(name, c.response);
    Call call = To("/raw/" + name);
    call.chunk = c.chunk;
    const Outcome o = Exchange(call);
    EXPECT_TRUE(o.sent) << c.what;
    EXPECT_EQ(o.reads, c.reads) << c.what;
    EXPECT_EQ(o.body, c.body) << c.what;
  }
}

TEST_F(WininetTest, LargeBodyArrivesWhole) {
  Call c = To("/big/3000001");
  c.chunk = 1024;
  const Outcome o = Exchange(c);
  ASSERT_EQ(o.body.size(), 3000001u);
  bool same = true;
  for (std::size_t i = 0; i < o.body.size() && same; ++i) {
    same = static_cast<unsigned char>(o.body[i]) == i % 251;
  }
  EXPECT_TRUE(same);
}

TEST_F(WininetTest, RawHeadersOfTheFinalResponse) {
  struct Case {
    const char* what;
    std::string response;
    std::string headers;
  };
  const Case cases[] = {
      {"status line and header lines",
       "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\nX-A: 1\r\n\r\nno",
       "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\nX-A: 1\r\n\r\n"},
      {"interim responses are skipped",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: "
       "x\r\n\r\n"
       "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
       "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
      {"bare LF line ends come back as CR LF",
       "HTTP/1.1 200 OK\nContent-Length: 0\nX: y\n\n",
       "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX: y\r\n\r\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "raw" + std::to_string(n++);
    server_->Script(name, c.response);
    EXPECT_EQ(Exchange(To("/raw/" + name)).headers, c.headers) << c.what;
  }
}

TEST_F(WininetTest, RawHeadersBufferContract) {
  server_->Script("contract", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  const std::string block = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
  HINTERNET internet =
      InternetOpenA("A", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connect =
      InternetConnectA(internet, "127.0.0.1", INTERNET_PORT(server_->port),
                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connect, "GET", "/raw/contract", nullptr,
                                       nullptr, nullptr, 0, 0);
  ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));

  std::string buffer(100, '#');
  DWORD length = DWORD(block.size());  // one short: no room for the zero
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF,
                              buffer.data(), &length, nullptr));
  EXPECT_EQ(length, block.size() + 1);
  EXPECT_EQ(buffer, std::string(100, '#')) << "a short buffer stays untouched";

  length = 0;
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr,
                              &length, nullptr));
  EXPECT_EQ(length, block.size() + 1);

  length = DWORD(block.size() + 1);
  EXPECT_TRUE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF,
                             buffer.data(), &length, nullptr));
  EXPECT_EQ(length, block.size());
  EXPECT_EQ(buffer.substr(0, block.size() + 2), block + '\0' + '#');

  DWORD status = 0;
  length = sizeof status;
  EXPECT_TRUE(HttpQueryInfoA(request,
                             HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                             &status, &length, nullptr));
  EXPECT_EQ(status, 200u);
  InternetCloseHandle(internet);
}

TEST_F(WininetTest, FailedSendsLeaveNothingToRead) {
  struct Case {
    const char* what;
    std::string host;
    INTERNET_PORT port;
  };
  // A port that refuses: one the scripted server held and gave back.
  const Case cases[] = {
      {"a refused port", "127.0.0.1", 1},
      {"a name that cannot be looked up", std::string(64, 'a') + ".example",
       80},
      {"a name with characters no host has", "bad host", 80},
  };
  for (const Case& c : cases) {
    Call call = To("/");
    call.url_host = c.host;
    call.port = c.port;
    const Outcome o = Exchange(call);
    EXPECT_FALSE(o.sent) << c.what;
    EXPECT_EQ(o.reads, std::vector<DWORD>{0}) << c.what;
    EXPECT_EQ(o.headers, "") << c.what;
  }
}

TEST_F(WininetTest, Redirects) {
  struct Case {
    const char* what;
    const char* verb;
    int status;
    DWORD flags;
    std::string second;  // request line of the second leg; empty: none
    std::string body;    // what comes back
  };
  const Case cases[] = {
      {"302 turns POST into GET", "POST", 302, 0, "GET /raw/to0 HTTP/1.1",
       "landed"},
      {"301 turns PUT into GET", "PUT", 301, 0, "GET /raw/to1 HTTP/1.1",
       "landed"},
      {"303 turns DELETE into GET", "DELETE", 303, 0, "GET /raw/to2 HTTP/1.1",
       "landed"},
      {"307 keeps POST and its body", "POST", 307, 0, "POST /raw/to3 HTTP/1.1",
       "landed"},
      {"308 keeps PUT", "PUT", 308, 0, "PUT /raw/to4 HTTP/1.1", "landed"},
      {"302 keeps HEAD", "HEAD", 302, 0, "HEAD /raw/to5 HTTP/1.1", ""},
      {"not followed when forbidden", "GET", 302,
       INTERNET_FLAG_NO_AUTO_REDIRECT, "", "moved"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string from = "from" + std::to_string(n);
    const std::string to = "to" + std::to_string(n++);
    server_->Script(from, "HTTP/1.1 " + std::to_string(c.status) +
                              " Moved\r\nLocation: /raw/" + to +
                              "\r\nContent-Length: 5\r\n\r\nmoved");
    server_->Script(to, Ok("landed"));
    Call call = To("/raw/" + from);
    call.verb = c.verb;
    call.flags = c.flags;
    call.body = "k=v";
    const Outcome o = Exchange(call);
    EXPECT_EQ(o.body, c.body) << c.what;
    const std::string second = server_->Recorded(to);
    if (c.second.empty()) {
      EXPECT_EQ(second, "") << c.what;
      continue;
    }
    EXPECT_EQ(second.substr(0, c.second.size()), c.second) << c.what;
    const bool kept = c.status >= 307 && std::string(c.verb) != "HEAD";
    EXPECT_EQ(second.find("\r\n\r\nk=v") != std::string::npos, kept) << c.what;
    EXPECT_EQ(second.find("Content-Length") != std::string::npos, kept)
        << c.what;
  }
}

TEST_F(WininetTest, RedirectLoopEnds) {
  server_->Script("loop",
                  "HTTP/1.1 302 Again\r\nLocation: /raw/loop\r\n"
                  "Content-Length: 0\r\n\r\n");
  const Outcome o = Exchange(To("/raw/loop"));
  EXPECT_FALSE(o.sent);
  std::string recorded = server_->Recorded("loop");
  int requests = 0;
  for (auto at = recorded.find("GET "); at != std::string::npos;
       at = recorded.find("GET ", at + 1)) {
    ++requests;
  }
  EXPECT_EQ(requests, 11) << "the first request and ten redirects";
}

TEST_F(WininetTest, RedirectToAnotherKindOfAddressIsTheAnswer) {
  server_->Script("toftp",
                  "HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/x\r\n"
                  "Content-Length: 5\r\n\r\nmoved");
  const Outcome o = Exchange(To("/raw/toftp"));
  EXPECT_TRUE(o.sent);
  EXPECT_EQ(o.body, "moved");
  EXPECT_EQ(o.headers.substr(0, 20), "HTTP/1.1 302 Found\r\n");
}

TEST_F(WininetTest, RedirectAcrossSchemes) {
  tls_->Script("secure", Ok("secret"));
  server_->Script("up",
                  "HTTP/1.1 302 Up\r\nLocation: " + tls_->Url("/raw/secure") +
                      "\r\nContent-Length: 0\r\n\r\n");
  struct Case {
    const char* what;
    DWORD flags;
    bool any_certificate;
    bool sent;
    std::string body;
  };
  const Case cases[] = {
      {"allowed by the request flag", INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS,
       true, true, "secret"},
      {"allowed by the security flags", 0, true, true, "secret"},
      {"not allowed", 0, false, false, ""},
  };
  for (const Case& c : cases) {
    Call call = To("/raw/up");
    call.flags = c.flags;
    call.any_certificate = c.any_certificate;
    const Outcome o = Exchange(call);
    EXPECT_EQ(o.sent, c.sent) << c.what;
    EXPECT_EQ(o.body, c.body) << c.what;
  }
}

TEST_F(WininetTest, CertificatesAreCheckedUnlessTheFlagsSayOtherwise) {
  tls_->Script("cert", Ok("over tls"));
  Call c;
  c.port = INTERNET_PORT(tls_->port);
  c.object = "/raw/cert";
  c.flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE;
  EXPECT_FALSE(Exchange(c).sent) << "a self-signed certificate is refused";
  c.any_certificate = true;
  const Outcome o = Exchange(c);
  EXPECT_TRUE(o.sent);
  EXPECT_EQ(o.body, "over tls");
  EXPECT_NE(tls_->Recorded("cert").find(
                "Host: 127.0.0.1:" + std::to_string(tls_->port) + "\r\n"),
            std::string::npos);
}

TEST_F(WininetTest, OneCookieStoreForTheProcess) {
  server_->Script("setjar", Ok("", "Set-Cookie: jar7=v1; Path=/\r\n"));
  server_->Script("sendjar", Ok(""));
  server_->Script("nojar", Ok(""));
  server_->Script("setblocked", Ok("", "Set-Cookie: blocked7=x; Path=/\r\n"));
  server_->Script("afterblocked", Ok(""));
  Exchange(To("/raw/setjar"));
  Exchange(To("/raw/sendjar"));
  EXPECT_NE(server_->Recorded("sendjar").find("\r\nCookie: jar7=v1\r\n"),
            std::string::npos);

  // A cookie set by a redirect goes with the request that follows it.
  server_->Script("hopjar",
                  "HTTP/1.1 302 Found\r\nSet-Cookie: hop7=1; Path=/\r\n"
                  "Location: /raw/afterhop\r\nContent-Length: 0\r\n\r\n");
  server_->Script("afterhop", Ok(""));
  Exchange(To("/raw/hopjar"));
  EXPECT_NE(server_->Recorded("afterhop").find("hop7=1"), std::string::npos);

  Call off = To("/raw/nojar");
  off.flags |= INTERNET_FLAG_NO_COOKIES;
  Exchange(off);
  EXPECT_EQ(server_->Recorded("nojar").find("Cookie"), std::string::npos);

  Call set_off = To("/raw/setblocked");
  set_off.flags |= INTERNET_FLAG_NO_COOKIES;
  Exchange(set_off);
  Exchange(To("/raw/afterblocked"));
  EXPECT_EQ(server_->Recorded("afterblocked").find("blocked7"),
            std::string::npos)
      << "a cookie set while cookies are off is not kept";
}

TEST_F(WininetTest, ServerThatStopsSendingIsLeft) {
  SetInternetTimeoutsForTesting(0, 0, 300);
  struct Case {
    const char* what;
    std::string response;
    bool sent;
    std::string body;
  };
  const Case cases[] = {
      {"no answer at all", "", false, ""},
      {"half a header block", "HTTP/1.1 200 OK\r\nContent-", false, ""},
      {"the body stops", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
       true, "abc"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "stall" + std::to_string(n++);
    server_->Script(name, c.response);
    const Outcome o = Exchange(To("/hold/" + name));
    EXPECT_EQ(o.sent, c.sent) << c.what;
    EXPECT_EQ(o.body, c.body) << c.what;
  }
}

TEST_F(WininetTest, EndlessHeadersAreCutOff) {
  std::string response = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 6000; ++i)
    response += "X-Filler: " + std::string(50, 'f') + "\r\n";
  response += "Content-Length: 0\r\n\r\n";
  server_->Script("endless", response);
  EXPECT_FALSE(Exchange(To("/raw/endless")).sent);
}

TEST_F(WininetTest, ManyRequestsAtOnce) {
  constexpr int kThreads = 16;
  std::vector<Outcome> outcomes(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([i, &outcomes] {
      Call c = To("/echo/" + std::to_string(i));
      c.headers = "X-Thread: " + std::to_string(i);
      outcomes[i] = Exchange(c);
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(outcomes[i].body.rfind("GET /echo/" + std::to_string(i) + " ", 0),
              0u)
        << i;
    EXPECT_NE(outcomes[i].body.find("X-Thread: " + std::to_string(i) + "\r\n"),
              std::string::npos)
        << i;
  }
}

// ---- through tinyproxy -----------------------------------------------------

class WininetProxyTest : public WininetTest {
 protected:
  static void SetUpTestSuite() {
    WininetTest::SetUpTestSuite();
    proxy_ = StartTinyproxy().release();
  }
  static void TearDownTestSuite() {
    delete proxy_;
    WininetTest::TearDownTestSuite();
  }
  void SetUp() override {
    WininetTest::SetUp();
    ASSERT_NE(proxy_->port, 0) << "tinyproxy did not start";
  }
  static std::string ProxyLog() {
    std::ifstream in(proxy_->dir + "/tinyproxy.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static TestServer* proxy_;
};

TestServer* WininetProxyTest::proxy_ = nullptr;

TEST_F(WininetProxyTest, EntriesChooseTheProxyByScheme) {
  const std::string p = "localhost:" + std::to_string(proxy_->port);
  struct Case {
    const char* what;
    std::string host;
    std::string proxy;
    bool via;  // went through tinyproxy
  };
  const Case cases[] = {
      {"an http= entry for an http address", "localhost", "http=" + p, true},
      {"a bare entry serves every scheme", "localhost", p, true},
      {"http:// in the value", "localhost", "http=http://" + p, true},
      {"the scheme's entry wins over a bare one", "localhost",
       "127.0.0.1:1 http=" + p, true},
      {"only another scheme's entry: direct", "localhost", "https=" + p, false},
      {"a loopback literal goes direct", "127.0.0.1", "http=" + p, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "px" + std::to_string(n++);
    server_->Script(name, Ok("through"));
    Call call = To("/raw/" + name);
    call.url_host = c.host;
    call.proxy = c.proxy.c_str();
    const Outcome o = Exchange(call);
    EXPECT_EQ(o.body, "through") << c.what;
    const std::string recorded = server_->Recorded(name);
    EXPECT_EQ(recorded.find("Via: ") != std::string::npos, c.via)
        << c.what << "\n"
        << recorded;
    EXPECT_EQ(recorded.find("Proxy-Connection"), std::string::npos) << c.what;
  }
}

TEST_F(WininetProxyTest, EnvironmentProxySettingsAreIgnored) {
  const std::string p = "localhost:" + std::to_string(proxy_->port);
  const char* names[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "ALL_PROXY",
                         "all_proxy"};
  for (const char* name : names) setenv(name, "http://127.0.0.1:1", 1);
  setenv("NO_PROXY", "*", 1);
  setenv("no_proxy", "*", 1);
  server_->Script("envdirect", Ok("direct"));
  server_->Script("envproxy", Ok("proxied"));
  Call direct = To("/raw/envdirect");
  direct.url_host = "localhost";
  const Outcome a = Exchange(direct);
  Call proxied = To("/raw/envproxy");
  proxied.url_host = "localhost";
  proxied.proxy = p.c_str();
  const Outcome b = Exchange(proxied);
  for (const char* name : names) unsetenv(name);
  unsetenv("NO_PROXY");
  unsetenv("no_proxy");
  EXPECT_EQ(a.body, "direct") << "no proxy from the environment";
  EXPECT_EQ(server_->Recorded("envdirect").find("Via: "), std::string::npos);
  EXPECT_EQ(b.body, "proxied");
  EXPECT_NE(server_->Recorded("envproxy").find("Via: "), std::string::npos)
      << "NO_PROXY in the environment does not bypass the proxy given";
}

TEST_F(WininetProxyTest, MalformedEntryFailsTheSend) {
  server_->Script("pxbad", Ok("x"));
  Call call = To("/raw/pxbad");
  call.url_host = "localhost";
  call.proxy = "http=bad host:1";
  EXPECT_FALSE(Exchange(call).sent);
  EXPECT_EQ(server_->Recorded("pxbad"), "");
}

TEST_F(WininetProxyTest, SecureAddressTunnelsThroughTheProxy) {
  tls_->Script("tunnel", Ok("tunnelled", "Set-Cookie: tun=1\r\n"));
  const std::string p = "localhost:" + std::to_string(proxy_->port);
  Call call;
  call.url_host = "localhost";
  call.port = INTERNET_PORT(tls_->port);
  call.object = "/raw/tunnel";
  call.flags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_COOKIES;
  call.any_certificate = true;
  call.headers = "Cookie: secret=1";
  call.proxy = p.c_str();
  const Outcome o = Exchange(call);
  EXPECT_EQ(o.body, "tunnelled");
  EXPECT_NE(tls_->Recorded("tunnel").find("Cookie: secret=1"),
            std::string::npos);
  const std::string log = ProxyLog();
  EXPECT_NE(log.find("CONNECT localhost:" + std::to_string(tls_->port)),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("secret"), std::string::npos)
      << "the caller's lines stay inside the tunnel";
}

}  // namespace
