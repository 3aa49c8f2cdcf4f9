// RawClient is a blocking TCP client to a port on 127.0.0.1 that shows
// exactly which bytes arrived and how the connection ended (end of stream,
// reset, time-out), so tests can check faults byte by byte. It knows just
// enough HTTP/1.1 to split one response off the stream.
//
// Nothing throws; a failed connect leaves connected() false with the errno in
// error(). Not thread-safe.
#ifndef QV_TOOLS_TESTSHOP_RAW_CLIENT_H_
#define QV_TOOLS_TESTSHOP_RAW_CLIENT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::testing {

// How a read stopped.
enum class ReadEnd {
  kDone,     // what was asked for arrived
  kEof,      // the peer closed the connection (FIN)
  kReset,    // the peer reset the connection (RST)
  kTimeout,  // nothing more arrived in time
  kError,    // another socket error; see RawClient::error()
};
const char* ReadEndName(ReadEnd end);

struct RawResponse {
  int status = 0;    // 0 when no status line arrived
  std::string head;  // status line and header lines, with the blank line
  std::vector<std::pair<std::string, std::string>> headers;  // in order
  std::string body;              // decoded when chunked; what arrived when cut short
  long long announced = -1;      // the Content-Length, -1 when none
  ReadEnd end = ReadEnd::kDone;  // kDone when the framing says it is complete

  // The first value of a header (name compared without case), or "".
  std::string Header(std::string_view name) const;
  // Every value of a header, in order.
  std::vector<std::string> Headers(std::string_view name) const;
};

class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  int error() const { return error_; }
  // Bytes received and not yet taken by ReadResponse.
  std::string& buffer() { return buffer_; }

  // Sends all of data; false on failure.
  bool Send(std::string_view data);
  // Reads until the buffer holds at least n bytes.
  ReadEnd ReadAtLeast(std::size_t n, int timeout_ms);
  // Reads until the buffer contains marker.
  ReadEnd ReadUntil(std::string_view marker, int timeout_ms);
  // Reads until the peer closes or resets the connection.
  ReadEnd ReadToEnd(int timeout_ms);
  // True when at least one new byte arrives (or the peer closes) within
  // timeout_ms.
  bool ActivityWithin(int timeout_ms);

  // Reads one response (no body for a HEAD request) and removes it from the
  // buffer; a body without length runs to the end of the connection.
  RawResponse ReadResponse(int timeout_ms, bool head_request = false);

 private:
  int fd_ = -1;
  int error_ = 0;
  std::string buffer_;

  // One recv, waiting up to timeout_ms; kDone when bytes were appended.
  ReadEnd ReadOnce(int timeout_ms);
  template <typename Enough>
  ReadEnd ReadWhile(Enough enough, int timeout_ms);
};

// The bytes the shop generates for body_size n: byte i = (i * 31 + 7) & 0xFF.
std::string ShopPattern(std::size_t n);

}  // namespace qv::testing

#endif  // QV_TOOLS_TESTSHOP_RAW_CLIENT_H_
