#include "http/testing/test_servers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace {

std::string MakeScratchDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "yk-http-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  return mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data())
                                           : std::string();
}

// Runs /usr/bin/python3 SCRIPT DIR [extra] with pipes on its standard input
// and output, and reads the port from its first line (20 s at most).
std::unique_ptr<TestServer> Spawn(const std::string& script,
                                  const std::string& extra) {
  auto server = std::make_unique<TestServer>();
  server->dir = MakeScratchDir();
  if (server->dir.empty()) return server;
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return server;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return server;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const std::string path = std::string(YK_TESTING_DIR) + "/" + script;
  std::vector<std::string> args = {"/usr/bin/python3", path, server->dir};
  if (!extra.empty()) args.push_back(extra);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&server->pid, argv[0], &actions, nullptr,
                                  argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  server->to_child = in[1];
  if (spawned != 0) {
    server->pid = -1;
    close(out[0]);
    return server;
  }
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0) {
    char c[64];
    const ssize_t n = read(out[0], c, sizeof c);
    if (n <= 0) break;
    line.append(c, static_cast<size_t>(n));
  }
  close(out[0]);
  server->port = std::atoi(line.c_str());
  return server;
}

}  // namespace

TestServer::~TestServer() {
  // A closed input tells the helper to stop (and to stop tinyproxy); it is
  // killed only when it has not gone after five seconds.
  if (to_child >= 0) close(to_child);
  if (pid > 0) {
    for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
      usleep(50 * 1000);
      if (i == 99) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  }
  if (!dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
}

std::string TestServer::Url(const std::string& path) const {
  return std::string(tls ? "https" : "http") +
         "://127.0.0.1:" + std::to_string(port) + path;
}

void TestServer::Script(const std::string& name,
                        const std::string& response) const {
  std::ofstream(dir + "/" + name + ".http", std::ios::binary) << response;
}

std::string TestServer::Recorded(const std::string& name) const {
  std::ifstream in(dir + "/" + name + ".req", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::unique_ptr<TestServer> StartScriptedServer(bool tls) {
  auto server = Spawn("scripted_server.py", tls ? "--tls" : "");
  server->tls = tls;
  return server;
}

std::unique_ptr<TestServer> StartTinyproxy() { return Spawn("proxy.py", ""); }
