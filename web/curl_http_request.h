// CurlHttpRequest: the HttpRequest on libcurl, and the real factory behind
// CreateHttpRequest.
//
// Settings that belong to the object and last across requests: the
// time-outs, the proxy, the redirect switch and the certificate switch.
// Open starts a new request: it forgets the previous request's headers,
// credentials and response.
//
// - Time-outs: resolve + connect bound the connection set-up (TLS
//   included); send and receive are "no progress for that long" limits once
//   connected. A value <= 0 adds no limit. Defaults: 30 s for the set-up,
//   30 s each without progress.
// - Proxy: without SetProxy, the http_proxy / https_proxy / no_proxy
//   variables apply. kProxySettingNamed with "host:port" (or a list such as
//   "http=host:port;https=host:port") names the proxy; setting 1 is a direct
//   connection.
// - Open accepts any method token; the address (GBK) must be an absolute
//   http or https address, else the request fails when sent.
// - Redirects are followed, at most 10 hops; more (a loop) is a failure.
// - Only the headers the caller sets go out, plus Host, Content-Length
//   for a body and the authorisation headers of SetCredentials. A header
//   set twice keeps its first position and the later value; an empty name
//   or a name or value holding a line break is ignored.
// - A text body is sent as its bytes, unconverted.
// - Any failure (unreachable host, time-out, certificate refused, reset,
//   body shorter than announced, redirect loop, abort flag) gives an empty
//   body, an empty header block and status 0.
// - ResponseBody hands the body over: a second call returns it empty.
#ifndef QV_WEB_CURL_HTTP_REQUEST_H_
#define QV_WEB_CURL_HTTP_REQUEST_H_

#include <string>
#include <utility>
#include <vector>

#include "web/http_request.h"

namespace qv {

class CurlHttpRequest : public HttpRequest {
 public:
  CurlHttpRequest() = default;

  void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) override;
  void SetProxy(int setting, std::string_view proxy) override;
  void Open(std::string_view method, std::string_view url, bool async) override;
  void SetOption(int option, int value) override;
  void SetCredentials(std::string_view user, std::string_view password, int target) override;
  void SetRequestHeader(std::string_view name, std::string_view value) override;
  void Send(std::string_view body) override;
  void SendBytes(ByteView body) override;
  Bytes ResponseBody() override;
  Text GetAllResponseHeaders() override;
  int Status() override;

 private:
  enum class ProxyMode { kEnvironment, kDirect, kNamed };

  long connectMs_ = 30000;
  int sendMs_ = 30000;
  int receiveMs_ = 30000;
  ProxyMode proxyMode_ = ProxyMode::kEnvironment;
  std::string proxy_;
  bool followRedirects_ = true;
  bool ignoreCertificateErrors_ = false;

  bool opened_ = false;
  std::string method_;
  std::string url_;  // UTF-8, percent-encoded
  std::string scheme_;
  std::vector<std::pair<std::string, std::string>> headers_;
  bool serverCredentials_ = false;
  std::string user_, password_;
  bool proxyCredentials_ = false;
  std::string proxyUser_, proxyPassword_;

  Bytes body_;
  Text responseHeaders_;
  int status_ = 0;

  void Perform(ByteView body);
  void ClearResponse();
};

}  // namespace qv

#endif  // QV_WEB_CURL_HTTP_REQUEST_H_
