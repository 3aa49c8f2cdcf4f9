#include "tools/testshop/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace qv::testing {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return std::string(s);
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Decodes a complete chunked body that starts at data[0]; returns the number
// of bytes it took, or 0 when it is not complete yet, -1 when malformed.
long long DecodeChunked(std::string_view data, std::string* out) {
  std::size_t pos = 0;
  out->clear();
  for (;;) {
    const std::size_t eol = data.find("\r\n", pos);
    if (eol == std::string_view::npos) return 0;
    const std::string size_text(data.substr(pos, eol - pos));
    char* end = nullptr;
    const unsigned long long size = std::strtoull(size_text.c_str(), &end, 16);
    if (end == size_text.c_str()) return -1;
    pos = eol + 2;
    if (size == 0) {
      // Trailer lines, then the blank line.
      for (;;) {
        const std::size_t t = data.find("\r\n", pos);
        if (t == std::string_view::npos) return 0;
        const bool blank = t == pos;
        pos = t + 2;
        if (blank) return static_cast<long long>(pos);
      }
    }
    if (data.size() < pos + size + 2) return 0;
    out->append(data.substr(pos, size));
    pos += size + 2;
  }
}

}  // namespace

const char* ReadEndName(ReadEnd end) {
  switch (end) {
    case ReadEnd::kDone: return "done";
    case ReadEnd::kEof: return "eof";
    case ReadEnd::kReset: return "reset";
    case ReadEnd::kTimeout: return "timeout";
    case ReadEnd::kError: return "error";
  }
  return "?";
}

std::string RawResponse::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (SameNoCase(n, name)) return v;
  }
  return {};
}

std::vector<std::string> RawResponse::Headers(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [n, v] : headers) {
    if (SameNoCase(n, name)) values.push_back(v);
  }
  return values;
}

RawClient::RawClient(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  const int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    error_ = errno;
    close(fd_);
    fd_ = -1;
  }
}

RawClient::~RawClient() {
  if (fd_ >= 0) close(fd_);
}

bool RawClient::Send(std::string_view data) {
  if (fd_ < 0) return false;
  while (!data.empty()) {
    const ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = errno;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

ReadEnd RawClient::ReadOnce(int timeout_ms) {
  if (fd_ < 0) return ReadEnd::kError;
  pollfd p{fd_, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return ReadEnd::kTimeout;
  char buf[65536];
  ssize_t n;
  do {
    n = recv(fd_, buf, sizeof buf, 0);
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    buffer_.append(buf, static_cast<std::size_t>(n));
    return ReadEnd::kDone;
  }
  if (n == 0) return ReadEnd::kEof;
  error_ = errno;
  return errno == ECONNRESET ? ReadEnd::kReset : ReadEnd::kError;
}

template <typename Enough>
ReadEnd RawClient::ReadWhile(Enough enough, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!enough()) {
    const ReadEnd end = ReadOnce(MsLeft(deadline));
    if (end != ReadEnd::kDone) return end;
  }
  return ReadEnd::kDone;
}

ReadEnd RawClient::ReadAtLeast(std::size_t n, int timeout_ms) {
  return ReadWhile([&] { return buffer_.size() >= n; }, timeout_ms);
}

ReadEnd RawClient::ReadUntil(std::string_view marker, int timeout_ms) {
  return ReadWhile([&] { return buffer_.find(marker) != std::string::npos; }, timeout_ms);
}

ReadEnd RawClient::ReadToEnd(int timeout_ms) {
  return ReadWhile([] { return false; }, timeout_ms);
}

bool RawClient::ActivityWithin(int timeout_ms) { return ReadOnce(timeout_ms) != ReadEnd::kTimeout; }

RawResponse RawClient::ReadResponse(int timeout_ms, bool head_request) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  RawResponse r;
  r.end = ReadUntil("\r\n\r\n", timeout_ms);
  const std::size_t head_end = buffer_.find("\r\n\r\n");
  if (head_end == std::string::npos) {
    r.head = buffer_;
    buffer_.clear();
    return r;
  }
  r.head = buffer_.substr(0, head_end + 4);
  buffer_.erase(0, head_end + 4);

  // Status line, then "Name: value" lines.
  std::size_t line_end = r.head.find("\r\n");
  const std::string status_line = r.head.substr(0, line_end);
  if (status_line.size() >= 12 && status_line.compare(0, 7, "HTTP/1.") == 0) {
    r.status = std::atoi(status_line.c_str() + 9);
  }
  for (std::size_t pos = line_end + 2; pos < head_end + 2;) {
    const std::size_t eol = r.head.find("\r\n", pos);
    const std::string line = r.head.substr(pos, eol - pos);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      r.headers.emplace_back(line.substr(0, colon), Trim(std::string_view(line).substr(colon + 1)));
    }
    pos = eol + 2;
  }
  const std::string length = r.Header("Content-Length");
  if (!length.empty()) r.announced = std::atoll(length.c_str());

  if (head_request || r.status == 204 || r.status == 304 || (r.status >= 100 && r.status < 200)) {
    r.end = ReadEnd::kDone;
    return r;
  }
  if (r.Header("Transfer-Encoding").find("chunked") != std::string::npos) {
    long long used = 0;
    r.end = ReadWhile(
        [&] {
          used = DecodeChunked(buffer_, &r.body);
          return used != 0;
        },
        MsLeft(deadline));
    if (used > 0) buffer_.erase(0, static_cast<std::size_t>(used));
    if (used < 0) r.end = ReadEnd::kError;
    if (used <= 0) {
      r.body = buffer_;
      buffer_.clear();
    }
    return r;
  }
  if (r.announced >= 0) {
    const auto want = static_cast<std::size_t>(r.announced);
    r.end = ReadAtLeast(want, MsLeft(deadline));
    const std::size_t take = buffer_.size() < want ? buffer_.size() : want;
    r.body = buffer_.substr(0, take);
    buffer_.erase(0, take);
    return r;
  }
  r.end = ReadToEnd(MsLeft(deadline));
  if (r.end == ReadEnd::kEof) r.end = ReadEnd::kDone;
  r.body = buffer_;
  buffer_.clear();
  return r;
}

std::string ShopPattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return s;
}

}  // namespace qv::testing
