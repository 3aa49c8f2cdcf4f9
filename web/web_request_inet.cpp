#include "web/web_request_inet.h"

#include <algorithm>
#include <cstring>

#include "core/bytes_ops.h"
#include "core/text_ops.h"
#include "text/text_between.h"
#include "web/cookies.h"
#include "web/headers.h"
#include "web/request_common.h"
#include "web/url_parts.h"

namespace qv {
namespace {

// The agent of the Internet handle: the value of the first "User-Agent:"
// line in exactly that letter case; failing that, when the label occurs in
// another case or with an empty value, the value after the first ":" of
// the whole header text.
Text ChooseAgent(std::string_view headers) {
  if (FindText(headers, "User-Agent:", std::nullopt, true) == -1) return Text(kDefaultAgent);
  Text agent = TrimBothEnds(TextBetween(Text(headers) + Text(kCrlf), "User-Agent:", kCrlf));
  if (agent.empty()) agent = HeaderValue(headers);
  return agent;
}

// The whole body, read in pieces until a read reports 0 bytes. A count
// larger than the piece asked for is taken as the piece size.
Bytes ReadBody(InetApi& inet, InetHandle request) {
  Bytes buffer = BlankBytes(kInetReadPiece);
  Bytes body;
  for (;;) {
    std::uint32_t count = 0;
    inet.InternetReadFile(request, buffer.data(), kInetReadPiece, &count);
    if (count == 0) break;
    const std::uint32_t n = std::min<std::uint32_t>(count, kInetReadPiece);
    body.insert(body.end(), buffer.begin(), buffer.begin() + n);
  }
  return body;
}

// The raw header block, up to the zero byte the query writes after it. The
// buffer starts as blanks and is kept whole when no zero byte is found.
Text QueryHeaders(InetApi& inet, InetHandle request) {
  Text buffer = BlankText(kInetHeaderBuffer);
  std::uint32_t length = kInetHeaderBuffer;
  inet.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, buffer.data(), &length);
  const void* zero = std::memchr(buffer.data(), 0, buffer.size());
  if (zero != nullptr) buffer.resize(static_cast<const char*>(zero) - buffer.data());
  return buffer;
}

}  // namespace

Bytes WebRequestInet(std::string_view url, const WebRequestInetOptions& options) {
  const bool autoMergeCookies = options.autoMergeCookies.value_or(true);
  const bool addDefaultHeaders = options.addDefaultHeaders.value_or(true);
  const bool fixHeaderCase = options.fixHeaderCase.value_or(true);
  InetApi& inet = options.inet != nullptr ? *options.inet : SystemInetApi();

  // Normalised before the agent and the default lines are looked for.
  Text headers = fixHeaderCase ? NormalizeHeaders(options.extraHeaders) : options.extraHeaders;
  const int method = ClampMethod(options.method);
  const bool secure = ToLowerCase(TextLeft(url, 8)) == "https://";
  const Text agent = ChooseAgent(headers);

  InetHandle internet = 0;
  if (options.proxy.empty()) {
    internet = inet.InternetOpen(agent, kInetOpenTypeDirect, std::nullopt, std::nullopt, 0);
  } else {
    // For plain http the proxy is named for the http scheme only.
    const Text proxy = secure ? options.proxy : "http=" + options.proxy;
    internet = inet.InternetOpen(agent, kInetOpenTypeProxy, proxy, "", 0);
  }
  if (internet == 0) return {};

  const InetHandle connection =
      inet.InternetConnect(internet, UrlHost(url), UrlPort(url), kInetServiceHttp, 0);
  if (connection == 0) {
    inet.InternetCloseHandle(internet);
    return {};
  }

  std::uint32_t flags = kInetFlagReload | kInetFlagNeedFile;
  if (options.cookies != nullptr) flags |= kInetFlagNoCookies;
  if (options.noRedirect) flags |= kInetFlagNoAutoRedirect;
  flags |= secure ? kInetFlagSecure : kInetFlagIgnoreRedirectToHttps;

  const InetHandle request =
      inet.HttpOpenRequest(connection, kHttpMethods[method], UrlPath(url), "HTTP/1.1", flags);
  if (request == 0) {
    inet.InternetCloseHandle(connection);
    inet.InternetCloseHandle(internet);
    return {};
  }
  inet.InternetSetOption(request, kInetOptionSecurityFlags, kInetSecurityIgnoreAll);

  if (addDefaultHeaders) {
    // An empty text starts as the Accept line itself, without a CRLF.
    if (headers.empty()) headers = "Accept: */*";
    AppendDefaultHeaders(&headers,
                         {{"Accept:", "Accept: */*"},
                          {"Referer:", "Referer: " + Text(url)},
                          {"Accept-Language:", "Accept-Language: zh-cn"}},
                         method);
  }
  if (options.cookies != nullptr && !options.cookies->empty()) {
    const Text& cookies = *options.cookies;
    headers += Text(kCrlf) + (FindText(cookies, "Cookie:") != -1 ? "" : "Cookie: ") + cookies;
  }

  if (method == kMethodGet) {
    inet.HttpSendRequest(request, headers, {});
  } else {
    Bytes ownBody;
    Bytes& body = options.postBytes != nullptr ? *options.postBytes : ownBody;
    if (body.empty()) body = ToBytes(options.postText);
    inet.HttpSendRequest(request, headers, body);
  }

  Bytes body = ReadBody(inet, request);
  const Text responseHeaders = QueryHeaders(inet, request);

  inet.InternetCloseHandle(request);
  inet.InternetCloseHandle(connection);
  inet.InternetCloseHandle(internet);

  if (options.responseHeaders != nullptr) *options.responseHeaders = responseHeaders;
  Text responseCookies = CollectResponseCookies(responseHeaders);
  if (autoMergeCookies && options.cookies != nullptr) {
    responseCookies = MergeCookies(options.cookies, responseCookies);
  }
  if (options.responseCookies != nullptr) *options.responseCookies = std::move(responseCookies);
  return body;
}

Text FetchPageText(std::string_view url, InetApi* inet) {
  return ToText(WebRequestInet(url, {.inet = inet}));
}

}  // namespace qv
