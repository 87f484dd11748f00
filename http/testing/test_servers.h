// Real servers for the HTTP tests and benchmarks, started by the test on
// 127.0.0.1: the scripted HTTP(S) server (scripted_server.py) and tinyproxy.
// Each lives in a scratch folder of its own and stops when its handle goes.
#ifndef YK_HTTP_TESTING_TEST_SERVERS_H_
#define YK_HTTP_TESTING_TEST_SERVERS_H_

#include <sys/types.h>

#include <memory>
#include <string>

struct TestServer {
  std::string dir;  // scratch folder: scripted responses and recordings
  int port = 0;     // 0 when the server did not come up
  pid_t pid = -1;
  int to_child = -1;  // the server ends when this pipe closes

  TestServer() = default;
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;
  ~TestServer();

  // "http://127.0.0.1:PORT" + path (https:// for the TLS server).
  std::string Url(const std::string& path) const;
  // Makes /raw/NAME and /hold/NAME answer with exactly these bytes.
  void Script(const std::string& name, const std::string& response) const;
  // Every request recorded under NAME so far, concatenated.
  std::string Recorded(const std::string& name) const;

  bool tls = false;
};

std::unique_ptr<TestServer> StartScriptedServer(bool tls = false);
std::unique_ptr<TestServer> StartTinyproxy();

#endif  // YK_HTTP_TESTING_TEST_SERVERS_H_
