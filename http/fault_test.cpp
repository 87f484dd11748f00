// HttpRequest against servers that misbehave on purpose: servers that go
// silent, break off, reset the connection, send too much or send forever.
// Each server is started here on 127.0.0.1 and played by a function per
// connection. Every request runs on a worker thread of its own, as the
// viewer's fetches do, and each case prints the figures it measured.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/http_request.h"
#include "platform/wininet.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- a loopback server with scripted misbehaviour --------------------------

struct Connection {
  int fd = -1;
  std::string request;  // the request head, up to and with its blank line
  const std::atomic<bool>* stop = nullptr;
};

// What the server does with one request. True keeps the connection for the
// next request; false closes it (unless the function already did).
using Behaviour = std::function<bool(Connection&)>;

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SendAll(int fd, const std::string& s) {
  return SendAll(fd, s.data(), s.size());
}

// Waits, reading and dropping whatever comes, until the client goes away or
// the server stops.
void HoldUntilClosed(Connection& c) {
  char sink[4096];
  while (!c.stop->load()) {
    pollfd p{c.fd, POLLIN, 0};
    if (poll(&p, 1, 50) > 0 && recv(c.fd, sink, sizeof sink, 0) <= 0) return;
  }
}

// Closes with a reset instead of an orderly end.
void Reset(Connection& c) {
  linger hard{1, 0};
  setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(c.fd);
  c.fd = -1;
}

struct FaultServer {
  int listener = -1;
  int port = 0;
  std::atomic<bool> stop{false};
  std::atomic<int> requests{0};
  Behaviour behaviour;
  std::thread acceptor;
  std::mutex mutex;
  std::vector<std::thread> workers;

  explicit FaultServer(Behaviour b) : behaviour(std::move(b)) {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener, 64) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
      return;
    }
    port = ntohs(a.sin_port);
    acceptor = std::thread([this] { Accept(); });
  }

  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  ~FaultServer() {
    stop = true;
    if (acceptor.joinable()) acceptor.join();
    std::lock_guard<std::mutex> lock(mutex);
    for (std::thread& t : workers) t.join();
    if (listener >= 0) close(listener);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }

  void Accept() {
    while (!stop) {
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(mutex);
      workers.emplace_back([this, fd] { Serve(fd); });
    }
  }

  void Serve(int fd) {
    Connection c{fd, std::string(), &stop};
    std::string pending;
    char buffer[4096];
    while (!stop) {
      const auto end = pending.find("\r\n\r\n");
      if (end != std::string::npos) {
        c.request = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        ++requests;
        if (!behaviour(c) || c.fd < 0) break;
        continue;
      }
      pollfd p{c.fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    if (c.fd >= 0) close(c.fd);
  }
};

// ---- figures of this process
// -------------------------------------------------

// A field of /proc/self/status ("Threads", "VmRSS", "VmHWM"), as a number
// (kB for the memory fields).
long StatusField(const std::string& name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) {
      return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

// Starts the resident high-water mark afresh from the current size.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

long ThreadsNow() { return StatusField("Threads"); }

// The thread count once it is back at `target`, or after 10 s: threads that
// were joined, and the test server's connection threads that see the client
// close, can take a moment to leave the process's list.
long ThreadsSettledAt(long target) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  long now = ThreadsNow();
  while (now != target && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    now = ThreadsNow();
  }
  return now;
}

// The thread count to come back to. A thread is started and joined first, so
// that helpers the runtime starts with the first thread (ThreadSanitizer's,
// for one) are already counted.
long ThreadsAtRest() {
  std::thread([] {}).join();
  return ThreadsNow();
}

// Under ThreadSanitizer every byte costs many times over, in time and in
// shadow memory; the big body is then smaller, enough to show that nothing
// races, and its memory bound looser.
#if defined(__SANITIZE_THREAD__)
#define YK_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define YK_THREAD_SANITIZER 1
#endif
#endif
#ifdef YK_THREAD_SANITIZER
constexpr std::size_t kBigBody = std::size_t{64} << 20;
constexpr long kPeakPerBodyByte = 8;
#else
constexpr std::size_t kBigBody = std::size_t{1} << 30;
constexpr long kPeakPerBodyByte = 3;
#endif

struct Outcome {
  Bytes body;
  Text responseHeaders;
  Text receivedCookies;
  long long ms = 0;
};

// One HttpRequest of `address` on a thread of its own, timed.
Outcome FetchOnWorker(const std::string& address) {
  Outcome o;
  std::thread worker([&o, &address] {
    const auto start = Clock::now();
    o.body = HttpRequest(address, 0, Text(), nullptr, &o.receivedCookies,
                         nullptr, &o.responseHeaders);
    o.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                 start)
               .count();
  });
  worker.join();
  return o;
}

std::string Head(std::size_t length, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) +
         "\r\n" + extra + "\r\n";
}

const std::string kBlanks(5000, ' ');

class FaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InternetStartUp(); }
  void SetUp() override { handles_ = OpenInternetHandleCount(); }
  void TearDown() override {
    EXPECT_EQ(OpenInternetHandleCount(), handles_) << "a handle was left open";
    SetInternetTimeoutsForTesting(0, 0, 0);
    SetBodyLimitForTesting(0);
  }
  int handles_ = 0;
};

// ---- the cases
// ----------------------------------------------------------------

TEST_F(FaultTest, MisbehavingServersEndTheCallWithWhatArrived) {
  // The receive time-out the silent cases wait for.
  constexpr DWORD kReceiveMs = 400;
  SetInternetTimeoutsForTesting(0, 0, kReceiveMs);
  const std::string part(4000, 'p');
  std::string bigHead = "HTTP/1.1 200 OK\r\nSet-Cookie: lost=1\r\n";
  while (bigHead.size() < 6000)
    bigHead += "X-Filler: " + std::string(90, 'f') + "\r\n";
  bigHead += "Content-Length: 2\r\n\r\n";

  struct Case {
    const char* what;
    Behaviour behaviour;
    std::string body;     // what the call returns
    bool body_is_prefix;  // a reset may drop bytes still in flight
    bool blank_headers;   // responseHeaders stays 5000 blanks
    bool waits_for_timeout;
  };
  const Case cases[] = {
      {"accepts and never answers",
       [](Connection& c) {
         HoldUntilClosed(c);
         return false;
       },
       "", false, true, true},
      {"stops mid-body and stays silent",
       [&part](Connection& c) {
         SendAll(c.fd, Head(10000) + part);
         HoldUntilClosed(c);
         return false;
       },
       part, false, false, true},
      {"stops mid-body and closes",
       [&part](Connection& c) {
         SendAll(c.fd, Head(10000) + part);
         return false;
       },
       part, false, false, false},
      {"resets before answering",
       [](Connection& c) {
         Reset(c);
         return false;
       },
       "", false, true, false},
      {"resets mid-body",
       [&part](Connection& c) {
         SendAll(c.fd, Head(10000) + part);
         std::this_thread::sleep_for(std::chrono::milliseconds(50));
         Reset(c);
         return false;
       },
       part, true, false, false},
      {"a 6000-byte header block",
       [&bigHead](Connection& c) {
         SendAll(c.fd, bigHead + "ok");
         return true;
       },
       "ok", false, true, false},
  };
  const long threadsBefore = ThreadsAtRest();
  for (const Case& c : cases) {
    FaultServer server(c.behaviour);
    ASSERT_NE(server.port, 0) << c.what;
    const Outcome o = FetchOnWorker(server.Url("/fault"));
    const std::string body(o.body.begin(), o.body.end());
    if (c.body_is_prefix) {
      EXPECT_EQ(c.body.compare(0, body.size(), body), 0) << c.what;
    } else {
      EXPECT_EQ(body, c.body) << c.what;
    }
    if (c.blank_headers) {
      EXPECT_EQ(o.responseHeaders, kBlanks) << c.what;
      EXPECT_EQ(o.receivedCookies, "") << c.what;
    } else {
      EXPECT_EQ(o.responseHeaders.rfind("HTTP/1.1 ", 0), 0u) << c.what;
    }
    if (c.waits_for_timeout) {
      EXPECT_GE(o.ms, kReceiveMs - 50)
          << c.what << ": left before the time-out";
    }
    // Generous: a call that ignored the time-out would take 30 s or forever.
    EXPECT_LT(o.ms, 20000) << c.what;
    EXPECT_EQ(server.requests.load(), 1) << c.what << ": asked again";
    std::printf("[figure] %-55s body %6zu bytes, %5lld ms, %d requests\n",
                c.what, o.body.size(), o.ms, server.requests.load());
  }
  EXPECT_EQ(ThreadsSettledAt(threadsBefore), threadsBefore)
      << "a request thread is still there";
}

// A redirect loop is followed ten times and then given up, so the server sees
// the first request and ten more, and the call returns nothing.
TEST_F(FaultTest, RedirectLoopIsBounded) {
  FaultServer server([](Connection& c) {
    const std::size_t at = c.request.find(' ') + 1;
    const std::string path = c.request.substr(at, c.request.find(' ', at) - at);
    SendAll(c.fd, "HTTP/1.1 302 Found\r\nLocation: " + path +
                      "x\r\nContent-Length: 4\r\n\r\nloop");
    return true;
  });
  ASSERT_NE(server.port, 0);
  const Outcome o = FetchOnWorker(server.Url("/r"));
  EXPECT_TRUE(o.body.empty());
  EXPECT_EQ(o.responseHeaders, kBlanks);
  EXPECT_EQ(server.requests.load(), 11);
  std::printf("[figure] redirect loop: %d requests, %lld ms\n",
              server.requests.load(), o.ms);
}

// A gigabyte body, made as it is sent. The body has no size limit short of
// what a Bytes value can count, so the call returns all of it; the transfer
// is paused while the reader has not caught up, so only the growing body
// itself takes memory.
TEST_F(FaultTest, GigabyteBodyArrivesWhole) {
  constexpr std::size_t kSize = kBigBody;
  // 251 x 256 bytes: byte i of the body is i % 251 across chunk seams too.
  std::string pattern(251 * 256, '\0');
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = char(i % 251);
  FaultServer server([&pattern](Connection& c) {
    if (!SendAll(c.fd, Head(kSize))) return false;
    std::size_t sent = 0;
    while (sent < kSize && !c.stop->load()) {
      const std::size_t n = std::min(pattern.size(), kSize - sent);
      if (!SendAll(c.fd, pattern.data(), n)) return false;
      sent += n;
    }
    return false;
  });
  ASSERT_NE(server.port, 0);
  const long rssBefore = StatusField("VmRSS");
  ResetPeakMemory();
  Outcome o = FetchOnWorker(server.Url("/gigabyte"));
  const long peak = StatusField("VmHWM");
  ASSERT_EQ(o.body.size(), kSize);
  bool pattern_holds = true;
  for (std::size_t i = 0; i < kSize && pattern_holds; i += 4093) {
    pattern_holds = o.body[i] == i % 251;
  }
  EXPECT_TRUE(pattern_holds) << "bytes out of order or lost";
  EXPECT_EQ(o.body.back(), (kSize - 1) % 251);
  // The body is held once, plus what growing it costs: well under three
  // times its size.
  EXPECT_LT(peak - rssBefore, kPeakPerBodyByte * long(kSize >> 10));
  std::printf(
      "[figure] big body: %zu bytes in %lld ms (%.0f MiB/s), peak resident "
      "growth %ld MiB\n",
      o.body.size(), o.ms, double(kSize) / 1048576.0 / (o.ms / 1000.0 + 1e-9),
      (peak - rssBefore) / 1024);
  o.body = Bytes();
}

// Fetches that hang on a silent server do not hold each other up: many at
// once all end after one receive time-out, and every thread is gone after.
TEST_F(FaultTest, ManySilentFetchesEachEndAfterTheTimeout) {
  constexpr DWORD kReceiveMs = 500;
  constexpr int kFetches = 100;
  SetInternetTimeoutsForTesting(0, 0, kReceiveMs);
  FaultServer server([](Connection& c) {
    HoldUntilClosed(c);
    return false;
  });
  ASSERT_NE(server.port, 0);
  const long threadsBefore = ThreadsAtRest();
  std::vector<long long> ms(kFetches);
  std::vector<std::size_t> sizes(kFetches);
  std::vector<std::thread> workers;
  const auto start = Clock::now();
  for (int i = 0; i < kFetches; ++i) {
    workers.emplace_back([i, &ms, &sizes, &server] {
      const auto t0 = Clock::now();
      sizes[i] = HttpRequest(server.Url("/silent/" + std::to_string(i))).size();
      ms[i] = std::chrono::duration_cast<std::chrono::milliseconds>(
                  Clock::now() - t0)
                  .count();
    });
  }
  long peakThreads = 0;
  while (server.requests.load() < kFetches &&
         Clock::now() - start < std::chrono::seconds(30)) {
    peakThreads = std::max(peakThreads, ThreadsNow());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (std::thread& t : workers) t.join();
  const long long total = std::chrono::duration_cast<std::chrono::milliseconds>(
                              Clock::now() - start)
                              .count();
  long long longest = 0;
  for (int i = 0; i < kFetches; ++i) {
    EXPECT_EQ(sizes[i], 0u) << i;
    EXPECT_GE(ms[i], kReceiveMs - 50) << i;
    longest = std::max(longest, ms[i]);
  }
  EXPECT_EQ(server.requests.load(), kFetches);
  EXPECT_LT(total, 20000) << "the fetches waited for one another";
  EXPECT_EQ(ThreadsSettledAt(threadsBefore), threadsBefore);
  std::printf(
      "[figure] %d silent fetches at once: all ended in %lld ms (longest "
      "call %lld ms, time-out %u ms), peak %ld threads\n",
      kFetches, total, longest, kReceiveMs, peakThreads);
}

}  // namespace
