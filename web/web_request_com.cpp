#include "web/web_request_com.h"

#include <climits>
#include <memory>

#include "core/bytes_ops.h"
#include "core/text_ops.h"
#include "text/text_between.h"
#include "web/base64.h"
#include "web/cookies.h"
#include "web/headers.h"
#include "web/request_common.h"

namespace qv {
namespace {

constexpr int kDefaultTimeoutMs = 15000;

// Milliseconds per phase: 15 s unless seconds is 1 or more; a value too
// large for int milliseconds saturates instead of overflowing.
int TimeoutMs(int seconds) {
  if (seconds < 1) return kDefaultTimeoutMs;
  if (seconds > INT_MAX / 1000) return INT_MAX;
  return seconds * 1000;
}

// Sends the header text: one line as it is, or every non-empty line of a
// multi-line text except "Connection: keep-alive" (exact letter case).
void SendHeaderLines(HttpRequest& request, std::string_view headers) {
  if (FindText(headers, kCrlf) == -1) {
    request.SetRequestHeader(HeaderName(headers), HeaderValue(headers));
    return;
  }
  for (const Text& line : SplitText(headers, kCrlf)) {
    if (line.empty()) continue;
    const Text name = HeaderName(line);
    const Text value = HeaderValue(line);
    if (CompareText(name, "Connection") == 0 && CompareText(value, "keep-alive") == 0) continue;
    request.SetRequestHeader(name, value);
  }
}

}  // namespace

Bytes WebRequestCom(std::string_view url, const WebRequestComOptions& options) {
  const int credentialTarget = options.credentialTarget.value_or(kCredentialsForProxy);
  const bool autoMergeCookies = options.autoMergeCookies.value_or(true);
  const bool addDefaultHeaders = options.addDefaultHeaders.value_or(true);
  const bool fixHeaderCase = options.fixHeaderCase.value_or(true);

  const int method = ClampMethod(options.method);

  // A caller's object is borrowed; one made here is released on return.
  std::unique_ptr<HttpRequest> created;
  HttpRequest* request = options.requestObject;
  if (request == nullptr) {
    created = CreateHttpRequest();
    if (created == nullptr) return {};
    request = created.get();
  }

  if (options.timeoutSeconds != -1) {
    const int ms = TimeoutMs(options.timeoutSeconds);
    request->SetTimeouts(ms, ms, ms, ms);
  }
  if (!options.proxy.empty()) request->SetProxy(kProxySettingNamed, options.proxy);
  request->Open(kHttpMethods[method], url, false);
  if (options.noRedirect) request->SetOption(kOptionEnableRedirects, 0);
  request->SetOption(kOptionSslErrorIgnoreFlags, kIgnoreCertificateErrors);

  Text headers = options.extraHeaders;
  if (addDefaultHeaders) {
    AppendDefaultHeaders(&headers,
                         {{"Accept:", "Accept: */*"},
                          {"Referer:", "Referer: " + Text(url)},
                          {"Accept-Language:", "Accept-Language: zh-cn"},
                          {"User-Agent:", "User-Agent: " + Text(kDefaultAgent)}},
                         method);
  }
  if (fixHeaderCase) headers = NormalizeHeaders(headers);

  if (!options.proxy.empty() && !options.proxyUser.empty()) {
    request->SetCredentials(options.proxyUser, options.proxyPassword, credentialTarget);
    if (credentialTarget == kCredentialsForProxy) {
      const Text pair = options.proxyUser + ":" + options.proxyPassword;
      request->SetRequestHeader("Proxy-Authorization", "Basic " + Base64Encode(AsBytes(pair)));
    }
  }

  if (options.cookies != nullptr) {
    Text& cookies = *options.cookies;
    if (!cookies.empty() && FindText(cookies, "Cookie:", std::nullopt, true) != -1) {
      cookies = ReplaceSubtext(cookies, "Cookie:", "", std::nullopt, std::nullopt, false);
    }
    request->SetRequestHeader("Cookie", cookies);
  }

  SendHeaderLines(*request, headers);

  if (options.postBytes != nullptr && !options.postBytes->empty()) {
    request->SendBytes(*options.postBytes);
  } else {
    request->Send(options.postText);
  }

  Bytes body = request->ResponseBody();
  const Text responseHeaders = request->GetAllResponseHeaders();
  if (options.responseHeaders != nullptr) *options.responseHeaders = responseHeaders;
  const int status = request->Status();
  if (options.statusCode != nullptr) *options.statusCode = status;

  Text responseCookies = CollectResponseCookies(responseHeaders);
  if (autoMergeCookies && options.cookies != nullptr) {
    responseCookies = MergeCookies(options.cookies, responseCookies);
  }
  if (options.responseCookies != nullptr) *options.responseCookies = std::move(responseCookies);
  return body;
}

}  // namespace qv
