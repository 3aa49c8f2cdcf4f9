// The request object that the object-based request routine drives.
//
// One HttpRequest performs one synchronous HTTP exchange at a time: set it
// up, Open, add headers, Send, then read the body, the raw header block and
// the status. The members mirror what the routine calls, in that order; a
// member that fails records nothing the caller sees: reads after a failed
// Send give an empty body, an empty header block and status 0.
//
// Not thread-safe: one request object belongs to one thread at a time.
// Different objects may run on different threads at once.
#ifndef QV_WEB_HTTP_REQUEST_H_
#define QV_WEB_HTTP_REQUEST_H_

#include <functional>
#include <memory>
#include <string_view>

#include "core/bytes_ops.h"
#include "core/types.h"

namespace qv {

// Option indexes and values the routine writes with SetOption.
inline constexpr int kOptionEnableRedirects = 6;
inline constexpr int kOptionSslErrorIgnoreFlags = 4;
inline constexpr int kIgnoreCertificateErrors = 0x3300;
// SetProxy setting that names a proxy server.
inline constexpr int kProxySettingNamed = 2;
// SetCredentials targets.
inline constexpr int kCredentialsForServer = 0;
inline constexpr int kCredentialsForProxy = 1;

class HttpRequest {
 public:
  virtual ~HttpRequest() = default;

  // Time-outs of the next request, in milliseconds, for name resolution,
  // connecting, sending and receiving.
  virtual void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) = 0;
  // With kProxySettingNamed, requests go through the proxy "host:port".
  virtual void SetProxy(int setting, std::string_view proxy) = 0;
  // Prepares a request; async must be false (synchronous use only).
  virtual void Open(std::string_view method, std::string_view url, bool async) = 0;
  // Writes the indexed option (see the constants above).
  virtual void SetOption(int option, int value) = 0;
  virtual void SetCredentials(std::string_view user, std::string_view password, int target) = 0;
  virtual void SetRequestHeader(std::string_view name, std::string_view value) = 0;
  // Performs the request with a text body (possibly empty) or a byte body,
  // and returns when the response has arrived or a time-out has passed.
  virtual void Send(std::string_view body) = 0;
  virtual void SendBytes(ByteView body) = 0;

  virtual Bytes ResponseBody() = 0;
  // The response header lines, CRLF-separated, without the status line.
  virtual Text GetAllResponseHeaders() = 0;
  virtual int Status() = 0;
};

// Makes the request objects that the routine creates for itself. Null when
// no object can be had. Tests may replace it; SetHttpRequestFactory(nullptr)
// restores the real one.
using HttpRequestFactory = std::function<std::unique_ptr<HttpRequest>()>;
std::unique_ptr<HttpRequest> CreateHttpRequest();
void SetHttpRequestFactory(HttpRequestFactory factory);

}  // namespace qv

#endif  // QV_WEB_HTTP_REQUEST_H_
