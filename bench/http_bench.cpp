// HttpRequest of a 256 MiB body from the scripted server on 127.0.0.1, and
// the curl command line fetching the same address to /dev/null in the same
// run, for the throughput ratio. The first benchmark also reports the
// process's peak resident memory against the body's size.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <memory>
#include <string>

#include "http/http_request.h"
#include "http/testing/test_servers.h"
#include "platform/wininet.h"

extern char** environ;

namespace {

constexpr long long kBodyBytes = 256LL << 20;

TestServer& Server() {
  static std::unique_ptr<TestServer> server = StartScriptedServer();
  return *server;
}

std::string BigUrl() {
  return Server().Url("/big/" + std::to_string(kBodyBytes));
}

double PeakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_HttpRequest(benchmark::State& state) {
  InternetStartUp();
  if (Server().port == 0) {
    state.SkipWithError("scripted server did not start");
    return;
  }
  const std::string url = BigUrl();
  const double before = PeakResidentMiB();
  for (auto _ : state) {
    const Bytes body = HttpRequest(url);
    if (static_cast<long long>(body.size()) != kBodyBytes) {
      state.SkipWithError("short body");
      return;
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * kBodyBytes);
  state.counters["body_MiB"] = static_cast<double>(kBodyBytes >> 20);
  state.counters["peak_rss_MiB"] = PeakResidentMiB();
  state.counters["rss_before_MiB"] = before;
}
BENCHMARK(BM_HttpRequest)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

// The stand-in alone: the same body read 1024 bytes at a time and dropped,
// so that the cost of keeping the body shows apart from the transfer's.
void BM_InternetReadFile(benchmark::State& state) {
  if (Server().port == 0) {
    state.SkipWithError("scripted server did not start");
    return;
  }
  const std::string object = "/big/" + std::to_string(kBodyBytes);
  for (auto _ : state) {
    HINTERNET internet =
        InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connect = InternetConnectA(
        internet, "127.0.0.1", static_cast<INTERNET_PORT>(Server().port),
        nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connect, "GET", object.c_str(),
                                         nullptr, nullptr, nullptr, 0, 0);
    HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    char buffer[1024];
    DWORD count = 0;
    long long total = 0;
    do {
      InternetReadFile(request, buffer, sizeof buffer, &count);
      total += count;
    } while (count != 0);
    InternetCloseHandle(internet);
    if (total != kBodyBytes) {
      state.SkipWithError("short body");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * kBodyBytes);
  // Meaningful when run alone (--benchmark_filter=InternetReadFile).
  state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_InternetReadFile)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

// No network: the body appended to fresh memory 1024 bytes at a time, as
// HttpRequest keeps it. The floor under BM_HttpRequest on this machine.
void BM_AppendBodyOnly(benchmark::State& state) {
  const Bytes chunk(1024, 7);
  for (auto _ : state) {
    Bytes body;
    for (long long i = 0; i < kBodyBytes / 1024; ++i) {
      body.insert(body.end(), chunk.begin(), chunk.end());
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * kBodyBytes);
}
BENCHMARK(BM_AppendBodyOnly)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

void BM_CurlToDevNull(benchmark::State& state) {
  if (Server().port == 0) {
    state.SkipWithError("scripted server did not start");
    return;
  }
  std::string url = BigUrl();
  for (auto _ : state) {
    char curl[] = "curl", silent[] = "-s", out[] = "-o", null[] = "/dev/null";
    char* argv[] = {curl, silent, out, null, url.data(), nullptr};
    pid_t pid = -1;
    int status = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || status != 0) {
      state.SkipWithError("curl failed");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * kBodyBytes);
}
BENCHMARK(BM_CurlToDevNull)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
