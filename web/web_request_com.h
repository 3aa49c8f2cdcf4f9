// One HTTP request over an HttpRequest object (web/http_request.h).
//
// WebRequestCom builds the request from its options (method, default header
// lines, cookie text, proxy and credentials), sends it synchronously and
// returns the response body. It never reports an error itself: when no
// request object can be had the result is empty and no out parameter is
// written; a member call that fails simply leaves its read empty (body,
// header block) or 0 (status). An HTTP error status is no failure.
//
// Runs on the calling thread; a caller-kept request object must not be used
// by two calls at once.
#ifndef QV_WEB_WEB_REQUEST_COM_H_
#define QV_WEB_WEB_REQUEST_COM_H_

#include <optional>
#include <string_view>

#include "core/types.h"
#include "web/http_request.h"
#include "web/request_common.h"

namespace qv {

// Everything after the address, in the routine's parameter order. A null
// pointer or an empty optional means "left out".
struct WebRequestComOptions {
  int method = kMethodGet;
  // Body sent when postBytes is left out or empty.
  Text postText = {};
  // In/out. Given (even empty): a Cookie header is always sent, every
  // "Cookie:" label (any letter case) is deleted from *cookies, and with
  // merging on *cookies ends as the merged cookie text.
  Text* cookies = nullptr;
  // Out: the cookies the response set ("a=1; b=2"), or the merged text.
  Text* responseCookies = nullptr;
  // CRLF-separated "name: value" lines added to the request.
  Text extraHeaders = {};
  // Out: the raw response header block.
  Text* responseHeaders = nullptr;
  // Out: the HTTP status, 0 when none was read.
  int* statusCode = nullptr;
  bool noRedirect = false;
  // Body bytes; when not empty they are sent instead of postText.
  const Bytes* postBytes = nullptr;
  // "host:port"; empty means no proxy.
  Text proxy = {};
  // Per-phase time-out: 1 or more seconds as given; -1 sets none; anything
  // else 15 seconds.
  int timeoutSeconds = 0;
  Text proxyUser = {};
  Text proxyPassword = {};
  // Left out: kCredentialsForProxy.
  std::optional<int> credentialTarget = std::nullopt;
  // The caller's object to run on instead of a new one; it is not released.
  HttpRequest* requestObject = nullptr;
  // Left out: true.
  std::optional<bool> autoMergeCookies = std::nullopt;
  std::optional<bool> addDefaultHeaders = std::nullopt;
  std::optional<bool> fixHeaderCase = std::nullopt;
};

// Performs one request to url and returns the response body (empty when
// there is none or no request object could be had).
Bytes WebRequestCom(std::string_view url, const WebRequestComOptions& options = {});

}  // namespace qv

#endif  // QV_WEB_WEB_REQUEST_COM_H_
