#include "tools/testshop/test_shop.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#ifndef QV_TESTSHOP_SCRIPT
#error "QV_TESTSHOP_SCRIPT must name shop.py"
#endif

namespace qv::testing {
namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kControlTimeoutMs = 10000;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("test shop: " + what); }

std::string ErrnoText(int err) { return std::strerror(err); }

// Describes how a child ended, for messages.
std::string ExitText(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "stopped";
}

// The integer after "\"key\":" in a flat JSON object, or -1.
int JsonInt(const std::string& line, const std::string& key) {
  const size_t at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  size_t i = at + key.size() + 3;
  while (i < line.size() && line[i] == ' ') ++i;
  long v = 0;
  size_t digits = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 6; ++i, ++digits) {
    v = v * 10 + (line[i] - '0');
  }
  return digits == 0 || v > 65535 ? -1 : static_cast<int>(v);
}

// The string after "\"key\":" in a flat JSON object (no escapes expected).
std::string JsonString(const std::string& line, const std::string& key) {
  const size_t at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return {};
  const size_t open = line.find('"', at + key.size() + 3);
  if (open == std::string::npos) return {};
  const size_t close = line.find('"', open + 1);
  return close == std::string::npos ? std::string{} : line.substr(open + 1, close - open - 1);
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

}  // namespace

TestShop::TestShop(const std::vector<std::string>& extra_args) {
  // Debian's python3 first: a python3 earlier on PATH may be a slow wrapper.
  const char* python_env = std::getenv("QV_PYTHON");
  std::string python = "python3";
  if (python_env != nullptr && *python_env) {
    python = python_env;
  } else if (access("/usr/bin/python3", X_OK) == 0) {
    python = "/usr/bin/python3";
  }
  std::vector<std::string> args = {python, "-I", QV_TESTSHOP_SCRIPT};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) Fail("pipe: " + ErrnoText(errno));
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    close(in_pipe[0]);
    close(in_pipe[1]);
    Fail("pipe: " + ErrnoText(errno));
  }
  // Carries errno from the child when exec fails; closes on a good exec.
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1]}) close(fd);
    Fail("pipe: " + ErrnoText(errno));
  }

  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    dup2(in_pipe[0], STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    execvp(argv[0], argv.data());
    const int err = errno;
    [[maybe_unused]] ssize_t n = write(err_pipe[1], &err, sizeof err);
    _exit(127);
  }
  const int fork_errno = errno;
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  stdin_fd_ = in_pipe[1];
  stdout_fd_ = out_pipe[0];
  if (pid < 0) {
    close(err_pipe[0]);
    Stop();
    Fail("fork: " + ErrnoText(fork_errno));
  }
  pid_ = pid;

  int exec_errno = 0;
  ssize_t got;
  do {
    got = read(err_pipe[0], &exec_errno, sizeof exec_errno);
  } while (got < 0 && errno == EINTR);
  close(err_pipe[0]);
  if (got == static_cast<ssize_t>(sizeof exec_errno)) {
    Stop();
    Fail("cannot run " + python + " (" + ErrnoText(exec_errno) +
         "); install Debian package python3 or set QV_PYTHON");
  }

  // Waits for the ports line.
  std::string line;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      Stop();
      Fail("shop.py did not report its ports within 20 s");
    }
    pollfd p{stdout_fd_, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      Stop();
      Fail("poll: " + ErrnoText(errno));
    }
    if (r == 0) continue;
    char buf[512];
    const ssize_t n = read(stdout_fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
      Stop();
      Fail(std::string(QV_TESTSHOP_SCRIPT) + " " + ExitText(status) +
           " before it listened (its error is on stderr)");
    }
    line.append(buf, static_cast<size_t>(n));
    if (line.size() > 4096) {
      Stop();
      Fail("unexpected output from shop.py: " + line.substr(0, 200));
    }
  }
  line.resize(line.find('\n'));
  http_port_ = JsonInt(line, "http");
  https_port_ = JsonInt(line, "https");
  cert_path_ = JsonString(line, "cert");
  if (http_port_ <= 0 || https_port_ <= 0) {
    Stop();
    Fail("cannot read the ports line from shop.py: " + line);
  }
}

TestShop::~TestShop() { Stop(); }

void TestShop::Stop() {
  // Closing stdin asks the shop to end (it also removes its certificate).
  CloseFd(&stdin_fd_);
  if (pid_ > 0) {
    int status = 0;
    bool reaped = false;
    for (int i = 0; i < 200 && !reaped; ++i) {
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno != EINTR)) {
        reaped = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (!reaped) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }
  CloseFd(&stdout_fd_);
}

std::string TestShop::Control(std::string_view method, std::string_view path,
                              std::string_view body) {
  const std::string what = std::string(method) + " " + std::string(path);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail(what + ": socket: " + ErrnoText(errno));
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  timeval tv{kControlTimeoutMs / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(http_port_));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    Fail(what + ": connect to port " + std::to_string(http_port_) + ": " + ErrnoText(errno));
  }
  std::string request = what + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
  if (!body.empty() || method == "POST") {
    request +=
        "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n";
  request.append(body);
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(what + ": send: " + ErrnoText(errno));
    sent += static_cast<size_t>(n);
  }
  std::string response;
  char buf[65536];
  for (;;) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(what + ": recv: " + ErrnoText(errno));
    if (n == 0) break;
    response.append(buf, static_cast<size_t>(n));
  }
  const size_t head_end = response.find("\r\n\r\n");
  if (response.compare(0, 9, "HTTP/1.1 ") != 0 || head_end == std::string::npos) {
    Fail(what + ": malformed answer: " + response.substr(0, 200));
  }
  const std::string status = response.substr(9, 3);
  std::string answer = response.substr(head_end + 4);
  if (status != "200") Fail(what + ": status " + status + ": " + answer);
  return answer;
}

void TestShop::AddRoutes(std::string_view json_text) {
  Control("POST", "/__shop/routes", json_text);
}

void TestShop::Reset() { Control("POST", "/__shop/reset", ""); }

void TestShop::Settings(std::string_view json_text) {
  Control("POST", "/__shop/settings", json_text);
}

std::string TestShop::Log() { return Control("GET", "/__shop/log", ""); }

}  // namespace qv::testing
